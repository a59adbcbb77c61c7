#include "serial/MSComm.h"

#include "serial/logging.h"
#include "serial/portname.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QStringList>
#include <algorithm>
#include <chrono>

namespace {

bool isSupportedRate(qint32 rate)
{
    static const qint32 rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};
    return std::find(std::begin(rates), std::end(rates), rate) != std::end(rates);
}

} // namespace

MSComm::MSComm(const QString &programDir, QObject *parent)
    : QObject(parent), m_programDir(programDir)
{
    connect(&m_serial, &QSerialPort::readyRead, this, &MSComm::readWaiting);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm()
{
    if (m_serial.isOpen())
        m_serial.close();
}

bool MSComm::setCommPort(qint16 port)
{
    if (m_serial.isOpen() || port < 1 || port > 255)
        return false;
    if (port != m_port)
        m_echoes = false;
    m_port = port;
    return true;
}

QString MSComm::deviceName() const
{
    if (!m_devicePath.isEmpty())
        return m_devicePath;
    return portDeviceName(m_port, m_programDir);
}

qint64 MSComm::steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString lineSettings(qint32 rate)
{
    return QString::number(rate) + QStringLiteral(",N,8,1");
}

bool MSComm::setSettings(const QString &settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    const qint32 baud = parts[0].toInt(&ok);
    if (!ok || !isSupportedRate(baud))
        return false;
    if (parts[1].size() != 1)
        return false;
    QSerialPort::Parity parity;
    switch (parts[1].at(0).toUpper().toLatin1()) {
    case 'N': parity = QSerialPort::NoParity; break;
    case 'E': parity = QSerialPort::EvenParity; break;
    case 'O': parity = QSerialPort::OddParity; break;
    case 'M': parity = QSerialPort::MarkParity; break;
    case 'S': parity = QSerialPort::SpaceParity; break;
    default: return false;
    }
    const int data = parts[2].toInt(&ok);
    if (!ok || data < 5 || data > 8)
        return false;
    QSerialPort::StopBits stop;
    if (parts[3] == QLatin1String("1"))
        stop = QSerialPort::OneStop;
    else if (parts[3] == QLatin1String("1.5"))
        stop = QSerialPort::OneAndHalfStop;
    else if (parts[3] == QLatin1String("2"))
        stop = QSerialPort::TwoStop;
    else
        return false;

    if (m_serial.isOpen()) {
        const bool applied = m_serial.setBaudRate(baud) && m_serial.setParity(parity)
                          && m_serial.setDataBits(QSerialPort::DataBits(data)) && m_serial.setStopBits(stop);
        if (!applied) {
            // A refused text changes nothing: undo the parts the driver already took.
            m_serial.setBaudRate(m_baud);
            m_serial.setParity(m_parity);
            m_serial.setDataBits(m_dataBits);
            m_serial.setStopBits(m_stopBits);
            return false;
        }
    }
    if (baud != m_baud)
        m_echoes = false;
    m_baud = baud;
    m_parity = parity;
    m_dataBits = QSerialPort::DataBits(data);
    m_stopBits = stop;
    return true;
}

QString MSComm::Settings() const
{
    static const char parityLetters[] = {'N', '?', 'E', 'O', 'S', 'M'};
    const QString stop = m_stopBits == QSerialPort::OneStop ? QStringLiteral("1")
                       : m_stopBits == QSerialPort::TwoStop ? QStringLiteral("2") : QStringLiteral("1.5");
    return QStringLiteral("%1,%2,%3,%4").arg(m_baud).arg(QLatin1Char(parityLetters[m_parity])).arg(int(m_dataBits)).arg(stop);
}

bool MSComm::PortOpen() const
{
    return m_serial.isOpen() && !m_lost;
}

bool MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (!m_serial.isOpen())
            return true;
        m_serial.close();
        m_in.clear();
        m_lost = false;
        m_echoes = false;
        emit closed(false);
        return true;
    }
    if (m_serial.isOpen()) {
        if (!m_lost)
            return false;
        m_serial.close(); // lost and not yet closed: start afresh
    }
    m_serial.setPortName(deviceName());
    m_serial.setBaudRate(m_baud);
    m_serial.setParity(m_parity);
    m_serial.setDataBits(m_dataBits);
    m_serial.setStopBits(m_stopBits);
    m_serial.setFlowControl(QSerialPort::NoFlowControl);
    m_openError = QSerialPort::NoError;
    if (!m_serial.open(QIODevice::ReadWrite)) {
        m_openError = m_serial.error();
        qCDebug(lcComm) << "open failed" << m_serial.portName() << m_serial.errorString();
        return false;
    }
    m_lost = false;
    m_in.clear();
    m_serial.clear();
    return true;
}

bool MSComm::setInputMode(qint32 mode)
{
    if (mode != 0 && mode != 1)
        return false;
    m_inputMode = mode;
    return true;
}

bool MSComm::setInputLen(qint16 length)
{
    if (length < 0)
        return false;
    m_inputLen = length;
    return true;
}

bool MSComm::setInBufferCount(qint16 count)
{
    if (count != 0)
        return false;
    m_in.clear();
    // Bytes already in the driver belong to an older exchange too: read so that they are announced, then dropped.
    if (m_serial.isOpen()) {
        m_discarding = true;
        readDriver();
        readWaiting();
        m_discarding = false;
        m_serial.clear(QSerialPort::Input);
    }
    return true;
}

bool MSComm::setOutBufferCount(qint16 count)
{
    if (count != 0)
        return false;
    if (m_serial.isOpen())
        m_serial.clear(QSerialPort::Output);
    return true;
}

bool MSComm::setSThreshold(qint16 threshold)
{
    if (threshold < 0)
        return false;
    m_sThreshold = threshold;
    return true;
}

bool MSComm::setRThreshold(qint16 threshold)
{
    if (threshold < 0)
        return false;
    m_rThreshold = threshold;
    raiseReceiveIfDue();
    return true;
}

bool MSComm::setOutput(const QByteArray &bytes)
{
    if (!PortOpen() || bytes.size() > kOutBufferSize)
        return false;
    if (m_serial.write(bytes) != bytes.size())
        return false;
    // Hand the bytes to the driver now rather than on the next pass of the event loop.
    m_serial.flush();
    emit sent(bytes, steadyNs());
    return true;
}

QByteArray MSComm::Input()
{
    const int count = m_inputLen == 0 ? int(m_in.size()) : std::min<int>(m_inputLen, m_in.size());
    const QByteArray bytes = m_in.left(count);
    m_in.remove(0, count);
    return bytes;
}

void MSComm::deliverWaiting()
{
    if (!PortOpen())
        return;
    // Bytes the event loop has not read yet; one look, no wait.
    if (m_rThreshold > 0 && m_in.size() < m_rThreshold)
        readDriver();
    while (!m_pending.isEmpty())
        deliverNext();
}

bool MSComm::readDriver()
{
#ifdef Q_OS_WIN
    // Qt 6.4's Windows port counts one completion per batch the event loop handles but keeps the
    // count of every completion; a wait of any length then takes a completion that is not there and
    // crashes. The completions already posted to the event loop are handed over instead.
    for (QObject *child : m_serial.children())
        QCoreApplication::sendPostedEvents(child, QEvent::MetaCall);
    return false;
#else
    return m_serial.waitForReadyRead(0);
#endif
}

void MSComm::readWaiting()
{
    const QByteArray bytes = m_serial.readAll();
    if (!bytes.isEmpty())
        emit received(bytes, steadyNs());
    if (m_discarding)
        return;
    const int room = kInBufferSize - int(m_in.size());
    m_in.append(bytes.constData(), std::min<int>(room, bytes.size()));
    if (bytes.size() > room && !m_pending.contains(qint16(comEventRxOver)))
        raise(comEventRxOver);
    raiseReceiveIfDue();
}

void MSComm::raiseReceiveIfDue()
{
    if (m_rThreshold > 0 && m_in.size() >= m_rThreshold && !m_receivePending) {
        m_receivePending = true;
        raise(comEvReceive);
    }
}

void MSComm::raise(qint16 event)
{
    m_pending.append(event);
    if (m_pending.size() == 1)
        QMetaObject::invokeMethod(this, &MSComm::deliverNext, Qt::QueuedConnection);
}

void MSComm::deliverNext()
{
    if (m_pending.isEmpty())
        return;
    const qint16 event = m_pending.takeFirst();
    if (!m_pending.isEmpty())
        QMetaObject::invokeMethod(this, &MSComm::deliverNext, Qt::QueuedConnection);
    if (event == comEvReceive) {
        m_receivePending = false;
        // The bytes may have been discarded by a new request since it was raised.
        if (m_rThreshold == 0 || m_in.size() < m_rThreshold)
            return;
    }
    m_event = event;
    emit OnComm();
}

void MSComm::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        break;
    default:
        return;
    }
    if (!m_serial.isOpen() || m_lost || m_checking)
        return;
#ifdef Q_OS_WIN
    // There no read reports a hang-up or a stale error, and no look at the line is safe (readDriver):
    // only a device that went away (Qt's ResourceError) is looked at, and the look finds it lost.
    if (error != QSerialPort::ResourceError)
        return;
#endif
    // A read that finds nothing is how a hung-up line reports, but so is a read of bytes that a flush
    // removed after the event loop saw them (and errno is then stale). Look again, outside Qt's handler.
    m_checking = true;
    QMetaObject::invokeMethod(this, &MSComm::checkLine, Qt::QueuedConnection);
}

void MSComm::checkLine()
{
    // A second look: waiting bytes or silence mean the line is still there; a hung-up line fails again.
    m_serial.clearError();
    const bool there = !m_serial.isOpen() || readDriver() || m_serial.error() == QSerialPort::TimeoutError;
    m_checking = false;
    if (there || m_lost)
        return;
    qCDebug(lcComm) << "port lost" << m_serial.portName() << m_serial.errorString();
    m_lost = true;
    portLost();
}

void MSComm::portLost()
{
    if (!m_lost)
        return;
    m_serial.close();
    m_in.clear();
    m_lost = false;
    m_echoes = false;
    emit closed(true);
    raise(comEventPortLost);
}
