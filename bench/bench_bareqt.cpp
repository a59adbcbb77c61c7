// The bare-Qt program the tool's polling is measured against: the plain code any Qt developer would
// write to poll the module every 50 ms and show its ten values, none of the tool's window or port
// adapter. A QSerialPort and a QTimer; ten QLineEdits in a shown window with the tool's style and
// font, their texts turned red at each tick and black with the values of the answer.
//   bench_bareqt SECONDS      polls the virtual module at 19200 baud, prints key=value lines
#include "app/look.h"
#include "modbus/codec.h"
#include "response/decode.h"
#include "rig.h"

#include <QApplication>
#include <QLineEdit>
#include <QSerialPort>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int kIntervalMs = 50;
constexpr int kAnswerLength = 25; // ten registers

void setTextColor(QLineEdit *box, const QColor &color)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, color);
    box->setPalette(palette);
}

class BarePoller : public QWidget
{
public:
    explicit BarePoller(const QString &port)
    {
        auto *layout = new QVBoxLayout(this);
        for (QLineEdit *&box : m_boxes)
            layout->addWidget(box = new QLineEdit(this));
        m_port.setPortName(port);
        m_port.setBaudRate(19200);
        m_port.open(QIODevice::ReadWrite);
        timer.setTimerType(Qt::PreciseTimer); // the schedule of the tool's timer
        connect(&timer, &QTimer::timeout, this, &BarePoller::request);
        connect(&m_port, &QSerialPort::readyRead, this, &BarePoller::read);
    }
    bool isOpen() const { return m_port.isOpen(); }

    QTimer timer;
    long requests = 0;
    std::function<void()> onDecoded; // the benchmark's count

private:
    void request()
    {
        m_port.clear(QSerialPort::Input);
        m_answer.clear();
        m_port.write(QByteArray::fromHex("01030000000AC5CD")); // ten registers from 0 at address 1
        ++requests;
        for (QLineEdit *box : m_boxes)
            setTextColor(box, Qt::red);
    }

    void read()
    {
        m_answer += m_port.readAll();
        if (!answerCrcMatches(m_answer, kAnswerLength))
            return;
        for (std::size_t i = 0; i < m_boxes.size(); ++i) {
            const int at = 3 + 2 * int(i);
            m_boxes[i]->setText(registerText(quint16(quint8(m_answer[at]) << 8 | quint8(m_answer[at + 1]))));
            setTextColor(m_boxes[i], Qt::black);
        }
        m_answer.clear();
        onDecoded();
    }

    QSerialPort m_port;
    QByteArray m_answer;
    std::array<QLineEdit *, 10> m_boxes{};
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    useClassicLook();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    VirtualModule module(19200, {});
    BarePoller poller(QString::fromStdString(module.slavePath()));
    poller.show();
    if (!module.running() || !poller.isOpen()) {
        std::fprintf(stderr, "bench_bareqt: could not open the virtual module's port\n");
        return 1;
    }
    runEventLoop(500); // shown and painted

    PollingRecord record(kIntervalMs);
    QObject::connect(&poller.timer, &QTimer::timeout, [&] { record.tick(); });
    poller.onDecoded = [&] { record.decoded(); };
    record.begin(seconds);
    poller.timer.start(kIntervalMs);
    runEventLoop(seconds * 1000 + kIntervalMs / 2);
    poller.timer.stop();
    record.end();
    runEventLoop(200); // the last answer
    record.print();
    std::printf("requests=%ld\n", poller.requests);
    return 0;
}
