#include "search/searcher.h"

#include "modbus/codec.h"
#include "response/decode.h"
#include "response/echo.h"
#include "serial/MSComm.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcSearch, "kv4820.search", QtWarningMsg)

const QList<int> Searcher::kRates{9600, 19200, 38400};

namespace {

constexpr int kAddressAnswerBytes = 6;
constexpr int kRegisterAnswerBytes = 7;

QByteArray registerRead(int address)
{
    return readRequest(quint8(address), 0x03, 0, 1);
}

} // namespace

QString openFailure(const MSComm *line)
{
    const QFileInfo device(line->deviceName());
    switch (line->openError()) {
    case QSerialPort::DeviceNotFoundError:
        // For a COMn link, where it leads is what the user has to mend.
        return QStringLiteral("设备不存在: %1").arg(device.isSymLink() ? device.symLinkTarget() : device.filePath());
    case QSerialPort::PermissionError:
        // Qt reports a device held by another program the same way; only the file's rights tell them apart.
        if (device.exists() && !(device.isReadable() && device.isWritable()))
            return QStringLiteral("无权限: 把用户加入 dialout 组后重新登录");
        return QStringLiteral("已被其他程序占用");
    default:
        return QStringLiteral("无法打开");
    }
}

Searcher::Searcher(const QString &programDir, QObject *parent)
    : QObject(parent), m_line(new MSComm(programDir, this))
{
    setObjectName(QStringLiteral("Searcher"));
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Searcher::judge);
}

QList<int> Searcher::rateOrder(int rateInForce)
{
    QList<int> order;
    if (kRates.contains(rateInForce))
        order << rateInForce;
    for (int rate : kRates)
        if (rate != rateInForce)
            order << rate;
    return order;
}

int Searcher::tryMs(int rate, int answerBytes, int marginMs)
{
    const double characters = 8 + answerBytes + 3.5; // the request is 8 bytes
    return int(std::ceil(characters * 11 * 1000 / rate)) + marginMs;
}

std::optional<int> Searcher::addressFromAnswer(const QByteArray &answer)
{
    // More bytes than one answer: another module answered at the same time.
    const std::optional<quint8> address = answer.size() == kAddressAnswerBytes ? readAddressAnswer(answer) : std::nullopt;
    return address ? std::optional<int>(*address) : std::nullopt;
}

std::optional<quint16> Searcher::registerFromAnswer(const QByteArray &answer, int address)
{
    if (answer.size() != kRegisterAnswerBytes || !registerAnswerAccepted(answer, registerRead(address)))
        return std::nullopt;
    return quint16(quint8(answer[3]) << 8 | quint8(answer[4]));
}

int Searcher::steps(int portCount)
{
    return portCount * int(kRates.size()) * (1 + kLastAddress - kFirstAddress + 1);
}

void Searcher::start(const QList<SearchPort> &ports, int rateInForce)
{
    stop();
    m_ports = ports;
    m_rateInForce = rateInForce;
    m_portIndex = 0;
    m_running = true;
    startPort();
}

void Searcher::stop()
{
    if (m_running) {
        m_timer.stop();
        finish();
    }
}

void Searcher::finish()
{
    m_line->setPortOpen(false);
    m_running = false;
    emit finished();
}

void Searcher::startPort()
{
    // Ports that do not open are passed over in one go, without a try.
    while (m_portIndex < m_ports.size()) {
        const SearchPort &port = m_ports[m_portIndex];
        m_line->setPortOpen(false);
        m_line->setDevicePath(port.device);
        if (m_line->setPortOpen(true))
            break;
        qCDebug(lcSearch) << "cannot open" << port.device;
        emit found(SearchFind{port, 0, 0, 0, openFailure(m_line)});
        if (!m_running)
            return;
        ++m_portIndex;
    }
    if (m_portIndex >= m_ports.size()) {
        finish();
        return;
    }
    m_phase = Phase::ReadAddress;
    m_rates = rateOrder(m_rateInForce);
    m_rateIndex = 0;
    m_ratesWithBytes.clear();
    sendTry();
}

void Searcher::nextPort()
{
    ++m_portIndex;
    startPort();
}

void Searcher::sendTry()
{
    if (!m_line->PortOpen()) { // the device went away
        nextPort();
        return;
    }
    const SearchPort &port = m_ports[m_portIndex];
    m_line->setSettings(lineSettings(rate()));
    const bool readAddress = m_phase == Phase::ReadAddress;
    const int answerBytes = readAddress ? kAddressAnswerBytes : kRegisterAnswerBytes;
    const int rates = int(kRates.size()), sweep = kLastAddress - kFirstAddress + 1;
    int step = m_portIndex * rates * (1 + sweep) + m_rateIndex;
    if (m_phase == Phase::Sweep)
        step += rates + m_rateIndex * (sweep - 1) + m_address - kFirstAddress;
    const QString what = readAddress ? QStringLiteral("读地址") : QStringLiteral("地址 %1").arg(m_address);
    emit trying(QStringLiteral("%1, %2, %3").arg(port.label).arg(rate()).arg(what), step);
    // The threshold only lets deliverWaiting fetch bytes the event loop has not read yet; nobody
    // listens. It counts the copy an adapter that echoes hands back first.
    m_request = readAddress ? readAddressRequest() : registerRead(m_address);
    m_line->setRThreshold(0);
    m_line->setInBufferCount(0);
    m_line->setRThreshold(qint16(m_request.size() + answerBytes));
    m_line->setOutput(m_request);
    m_timer.start(tryMs(rate(), answerBytes, m_marginMs));
}

void Searcher::judge()
{
    m_line->deliverWaiting();
    const QByteArray bytes = m_line->Input();
    qCDebug(lcSearch) << rate() << int(m_phase) << m_address << bytes.toHex(' ');
    // An adapter that echoes hands back the request alone when no module answers.
    const QByteArray answer = bytes == m_request ? QByteArray() : withoutEcho(bytes, m_request);
    switch (m_phase) {
    case Phase::ReadAddress:
        if (!answer.isEmpty() && !m_ratesWithBytes.contains(rate()))
            m_ratesWithBytes << rate();
        if (const std::optional<int> address = addressFromAnswer(answer)) {
            m_phase = Phase::Confirm;
            m_address = *address;
            sendTry();
            return;
        }
        nextReadAddressRate();
        return;
    case Phase::Confirm:
        if (const std::optional<quint16> value = registerFromAnswer(answer, m_address)) {
            emit found(SearchFind{m_ports[m_portIndex], rate(), m_address, *value, {}});
            if (m_running)
                nextPort();
            return;
        }
        m_phase = Phase::ReadAddress;
        nextReadAddressRate();
        return;
    case Phase::Sweep:
        if (const std::optional<quint16> value = registerFromAnswer(answer, m_address))
            emit found(SearchFind{m_ports[m_portIndex], rate(), m_address, *value, {}});
        if (!m_running)
            return;
        if (++m_address > kLastAddress) {
            m_address = kFirstAddress;
            if (++m_rateIndex >= m_rates.size()) {
                nextPort();
                return;
            }
        }
        sendTry();
        return;
    }
}

void Searcher::nextReadAddressRate()
{
    if (++m_rateIndex < m_rates.size())
        sendTry();
    else
        startSweep();
}

void Searcher::startSweep()
{
    // Bytes that came back, even garbled, show a rate at which something is listening.
    QList<int> order = m_ratesWithBytes;
    for (int rate : rateOrder(m_rateInForce))
        if (!order.contains(rate))
            order << rate;
    m_phase = Phase::Sweep;
    m_rates = order;
    m_rateIndex = 0;
    m_address = kFirstAddress;
    sendTry();
}
