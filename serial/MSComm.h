#pragma once
// The window's serial-port component: a small adapter over QSerialPort with the operations the
// window relies on. It keeps its own receive buffer so it can count waiting bytes, cap them and
// raise its notification at a threshold.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class MSComm : public QObject
{
    Q_OBJECT
public:
    // Notification kinds (CommEvent).
    enum Event : qint16 {
        comEvReceive = 2,      // at least RThreshold bytes are waiting
        comEventFrame = 1004,  // framing error on the line
        comEventRxOver = 1008, // receive buffer full: bytes were dropped
        comEventRxParity = 1009,
        comEventPortLost = 1100, // the device went away; the port is closed
    };
    static constexpr int kInBufferSize = 1024;
    static constexpr int kOutBufferSize = 512;

    explicit MSComm(const QString &programDir, QObject *parent = nullptr);
    ~MSComm() override;

    // Every setter returns false when the component refuses the value; it then has no effect.
    bool setCommPort(qint16 port);
    qint16 CommPort() const { return m_port; }
    bool setSettings(const QString &settings);
    QString Settings() const;
    qint32 baudRate() const { return m_baud; } // the rate of Settings()
    bool setPortOpen(bool open);
    bool PortOpen() const;
    bool setInputMode(qint32 mode);
    bool setInputLen(qint16 length);
    bool setInBufferCount(qint16 count);
    qint16 InBufferCount() const { return qint16(m_in.size()); }
    bool setOutBufferCount(qint16 count);
    bool setSThreshold(qint16 threshold);
    bool setRThreshold(qint16 threshold);
    qint16 RThreshold() const { return m_rThreshold; }
    bool setOutput(const QByteArray &bytes);
    QByteArray Input();
    const QByteArray &PeekInput() const { return m_in; } // the waiting bytes, left waiting
    // Reads what the driver holds now and hands over every notification already due, inside the
    // caller: for one about to discard the input for a new request.
    void deliverWaiting();
    qint16 CommEvent() const { return m_event; }
    // The line hands each request back before the answer (an adapter that echoes). Learnt by the
    // reader of the answers; forgotten when the port closes or another port or rate is chosen.
    bool echoes() const { return m_echoes; }
    void setEchoes(bool echoes) { m_echoes = echoes; }

    // The device that port n opens, for messages and tests.
    QString deviceName() const;
    // Opens this device instead of the one port n names; empty: port n again.
    void setDevicePath(const QString &path) { m_devicePath = path; }
    // Why the last open failed (PermissionError also when another program holds the device).
    QSerialPort::SerialPortError openError() const { return m_openError; }

    // A steady clock in nanoseconds, the one the traffic signals below are stamped with.
    static qint64 steadyNs();

signals:
    // Queued to the event thread: never raised inside another handler but deliverWaiting's caller.
    void OnComm();
    // Every write to the device and every read from it, as it happens, whatever the window then
    // keeps or discards; for observers such as a traffic log.
    void sent(const QByteArray &bytes, qint64 ns);
    void received(const QByteArray &bytes, qint64 ns);
    // The port was closed, by the window or because the device went away (lost).
    void closed(bool lost);

private:
    bool readDriver(); // true when it waited for bytes and read some (never on Windows)
    void readWaiting();
    void raiseReceiveIfDue();
    void raise(qint16 event);
    void deliverNext();
    void onError(QSerialPort::SerialPortError error);
    void checkLine();
    void portLost();

    QString m_programDir;
    QString m_devicePath;
    QSerialPort::SerialPortError m_openError = QSerialPort::NoError;
    QSerialPort m_serial;
    qint16 m_port = 1;
    qint32 m_baud = 9600;
    QSerialPort::Parity m_parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    qint32 m_inputMode = 0;
    qint16 m_inputLen = 0;
    qint16 m_rThreshold = 0;
    qint16 m_sThreshold = 0;
    QByteArray m_in;
    qint16 m_event = 0;
    QList<qint16> m_pending; // notifications raised and not yet delivered
    bool m_receivePending = false;
    bool m_lost = false;
    bool m_checking = false; // a failed read is being looked at again
    bool m_discarding = false; // bytes read now are announced and dropped
    bool m_echoes = false;
};

// The Settings text of the line the tool uses at rate: no parity, 8 data bits, 1 stop bit.
QString lineSettings(qint32 rate);
