// What the tool adds above the wire, in one process over a pseudo-terminal whose far end answers at
// once, the window shown: a click on "单次" until the last request byte is readable on the far side,
// and the last answer byte written until the ten value boxes show the answer. Every iteration is a
// whole exchange, so each click finds the boxes black from the answer before, as in use.
#include "common/pty.h"
#include "modbus/codec.h"
#include "rig.h"

#include <QApplication>
#include <QLineEdit>
#include <QSerialPort>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads the tool's bytes on the far side on a thread of its own, blocked in poll(), so the last
// request byte is stamped when it becomes readable (plus this thread's wake-up), not when the
// handler returns.
class FarSide
{
public:
    explicit FarSide(int fd) : m_fd(fd), m_thread([this] { run(); }) {}
    ~FarSide()
    {
        m_stop = true;
        m_thread.join();
    }
    // Waits until count more bytes have come since the last call; the time the last became readable.
    bool waitFor(int count, Clock::time_point &at)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
        while (m_received.load() < m_consumed + count) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::yield();
        }
        m_consumed += count;
        at = m_at.load();
        return true;
    }

private:
    void run()
    {
        pollfd ready{m_fd, POLLIN, 0};
        char buffer[256];
        while (!m_stop) {
            if (poll(&ready, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            m_at = Clock::now();
            m_received += long(n);
        }
    }

    int m_fd;
    long m_consumed = 0;
    std::atomic<long> m_received{0};
    std::atomic<Clock::time_point> m_at{};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Rig
{
    ProgramDir dir{19200};
    Pty pty;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<DecodeWatch> watch;

    Rig()
    {
        pty.linkAs(dir.path(), 1);
        const std::set<int> before = descriptorsOn(pty.slavePath().toStdString());
        window = std::make_unique<frmMain>(dir.path(), [](const MessageBoxRequest &) { return 0; });
        watchLine(newDescriptorOn(pty.slavePath().toStdString(), before));
        window->show();
        watch = std::make_unique<DecodeWatch>(*window);
    }
};

std::unique_ptr<Rig> g_rig;

QByteArray answerFor(int round)
{
    QByteArray answer("\x01\x03\x14", 3);
    for (int i = 0; i < 10; ++i) {
        const int value = 2000 + (round + i) % 500;
        answer.append(char(value >> 8)).append(char(value & 0xFF));
    }
    const quint16 crc = crc16(answer, int(answer.size()) - 1);
    return answer.append(char(crc & 0xFF)).append(char(crc >> 8));
}

// One exchange per iteration. changing: every answer carries ten new values (each box gets a new
// text); otherwise the same answer every time, as a steady module gives, and only the colours change.
void BM_Exchange(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    Rig &r = *g_rig;
    FarSide far(r.pty.masterFd());
    std::vector<double> written, readable, answers, delivered;
    int round = 0;
    for (auto _ : state) {
        QTest::qWait(1); // the line is idle between exchanges: pending paints are done
        r.watch->arm();
        const Clock::time_point click = Clock::now();
        r.window->comDoOnce_Click();
        const Clock::time_point left = lineStamps().lastWrite;
        Clock::time_point arrived;
        if (!far.waitFor(8, arrived)) {
            state.SkipWithError("no request");
            break;
        }
        QTest::qWait(1);

        const QByteArray answer = answerFor(changing ? ++round : 0);
        const Clock::time_point answered = Clock::now();
        r.pty.write(answer);
        if (!r.watch->wait()) {
            state.SkipWithError("no decode");
            break;
        }
        written.push_back(micros(click, left));
        readable.push_back(micros(click, arrived));
        answers.push_back(micros(answered, r.watch->decodedAt()));
        delivered.push_back(micros(answered, lineStamps().lastRead));
        state.SetIterationTime((readable.back() + answers.back()) / 1e6);
    }
    reportPercentiles(state, "click_us", readable);
    reportPercentiles(state, "click_write_us", written);
    reportPercentiles(state, "answer_us", answers);
    reportPercentiles(state, "answer_read_us", delivered);
}

// The window's own work of one exchange with nothing to wait for: the click (its request goes to a
// far side that only drains it) and its paint, then the answer handed to the window as the port's
// notification would, and its paint. Hot caches: a lower bound for polling, where each exchange
// finds them cold. changing: ten new texts every time (no value box can show an earlier picture).
void BM_WindowWork(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    Rig &r = *g_rig;
    FarSide far(r.pty.masterFd());
    std::vector<double> samples;
    int round = 0;
    for (auto _ : state) {
        const QByteArray answer = answerFor(changing ? ++round : 0);
        const Clock::time_point start = Clock::now();
        r.window->comDoOnce_Click();
        QCoreApplication::processEvents();
        r.window->ShowAnswer(answer);
        QCoreApplication::processEvents();
        samples.push_back(micros(start, Clock::now()));
        state.SetIterationTime(samples.back() / 1e6);
        if (!lastBoxBlack(*r.window)) {
            state.SkipWithError("the answer was not shown");
            break;
        }
    }
    reportPercentiles(state, "window_us", samples);
}

// The machine's own floor for both figures above, with no window and no event loop: 8 bytes written
// on a pty's slave side until readable by the same far-side thread, and 25 bytes written on the
// master side until read by this thread blocked in poll() on the slave side.
void BM_LineFloor(benchmark::State &state)
{
    Pty pty;
    const int slave = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        state.SkipWithError("no pty");
        return;
    }
    FarSide far(pty.masterFd());
    const QByteArray request(8, '\x01');
    const QByteArray answer = answerFor(0);
    std::vector<double> written, readable, delivered;
    for (auto _ : state) {
        usleep(1000);
        const Clock::time_point start = Clock::now();
        const bool sent = ::write(slave, request.constData(), size_t(request.size())) == request.size();
        const Clock::time_point left = Clock::now();
        Clock::time_point arrived;
        if (!sent || !far.waitFor(int(request.size()), arrived)) {
            state.SkipWithError("no request");
            break;
        }
        usleep(1000);
        const Clock::time_point answered = Clock::now();
        pty.write(answer);
        char buffer[64];
        qsizetype got = 0;
        pollfd ready{slave, POLLIN, 0};
        while (got < answer.size() && poll(&ready, 1, 2000) > 0) {
            const ssize_t n = ::read(slave, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got += n;
        }
        if (got < answer.size()) {
            state.SkipWithError("no answer");
            break;
        }
        delivered.push_back(micros(answered, Clock::now()));
        written.push_back(micros(start, left));
        readable.push_back(micros(start, arrived));
        state.SetIterationTime((readable.back() + delivered.back()) / 1e6);
    }
    ::close(slave);
    reportPercentiles(state, "floor_click_us", readable);
    reportPercentiles(state, "floor_click_write_us", written);
    reportPercentiles(state, "floor_answer_read_us", delivered);
}

// What any Qt program pays for the two figures of BM_Exchange, as their floor with the event loop and
// a window: a bare QSerialPort on the pty writes the request and flushes it, and its answer, read as
// readyRead brings it and its CRC checked, gives ten plain QLineEdits of a shown window their texts.
// None of the window's or the port adapter's code runs.
void BM_QtFloor(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    Pty pty;
    QSerialPort port(pty.slavePath());
    port.setBaudRate(19200);
    if (!port.open(QIODevice::ReadWrite)) {
        state.SkipWithError("no pty");
        return;
    }
    FarSide far(pty.masterFd());
    PlainBoxes boxes;
    QTest::qWait(200);

    QByteArray received;
    Clock::time_point shownAt;
    bool shown = false;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        received += port.readAll();
        if (!answerCrcMatches(received, kReadTenAnswerLength))
            return;
        boxes.show(received);
        shownAt = Clock::now();
        shown = true;
    });
    const QByteArray request = readTenRequest();
    std::vector<double> readable, answers;
    int round = 0;
    for (auto _ : state) {
        QTest::qWait(1);
        const Clock::time_point click = Clock::now();
        port.write(request);
        port.flush();
        Clock::time_point arrived;
        if (!far.waitFor(int(request.size()), arrived)) {
            state.SkipWithError("no request");
            break;
        }
        QTest::qWait(1);
        received.clear();
        shown = false;
        const Clock::time_point answered = Clock::now();
        pty.write(answerFor(changing ? ++round : 0));
        const Clock::time_point deadline = answered + std::chrono::seconds(2);
        while (!shown && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!shown) {
            state.SkipWithError("no answer");
            break;
        }
        readable.push_back(micros(click, arrived));
        answers.push_back(micros(answered, shownAt));
        state.SetIterationTime((readable.back() + answers.back()) / 1e6);
    }
    port.disconnect();
    reportPercentiles(state, "qt_floor_click_us", readable);
    reportPercentiles(state, "qt_floor_answer_us", answers);
}

} // namespace

BENCHMARK(BM_WindowWork)->ArgName("changing")->Arg(1)->Arg(0)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Exchange)->ArgName("changing")->Arg(1)->Arg(0)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineFloor)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtFloor)->ArgName("changing")->Arg(1)->Arg(0)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    g_rig = std::make_unique<Rig>();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_rig.reset(); // the window and its port go before the application object
    return 0;
}
