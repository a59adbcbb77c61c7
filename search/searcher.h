#pragma once
// The search for a module of unknown rate and address, one port after another: the read-address
// request at each rate, confirmed by a register read, else a register read at every address.
// One try at a time: write, wait the try's time on a timer with the event loop running, judge.
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class MSComm;

struct SearchPort
{
    QString label;    // as listed: "COM3", or "/dev/ttyUSB0 (FT232R USB UART)"
    int number = 0;   // n of COMn; 0 for a device that no COMn names yet
    QString device;   // what is opened
};

struct SearchFind
{
    SearchPort port;
    int rate = 0;
    int address = 0;
    quint16 value = 0;   // register 0 as read
    QString failure;     // set when the port could not be searched: why, and what to do
};

// Why line's port did not open, and what to do about it, as a search lists it ("无权限: …").
QString openFailure(const MSComm *line);

class Searcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;
    static constexpr int kMarginMs = 30;
    static const QList<int> kRates;

    explicit Searcher(const QString &programDir, QObject *parent = nullptr);

    void start(const QList<SearchPort> &ports, int rateInForce);
    void stop(); // ends at once: the try under way is dropped
    bool isRunning() const { return m_running; }
    static int steps(int portCount); // tries of a search that sweeps every port

    // The rate in force, then the others in the list's order.
    static QList<int> rateOrder(int rateInForce);
    // One try: the request's and the answer's wire time, 3.5 characters of silence, the margin.
    static int tryMs(int rate, int answerBytes, int marginMs = kMarginMs);
    // A longer margin lets a test on a busy machine wait for a virtual module that answers late.
    void setMarginMs(int marginMs) { m_marginMs = marginMs; }
    // The address a read-address answer names, when it is one with a good CRC.
    static std::optional<int> addressFromAnswer(const QByteArray &answer);
    // Register 0 from a good answer of address to a one-register read.
    static std::optional<quint16> registerFromAnswer(const QByteArray &answer, int address);

signals:
    void trying(const QString &what, int step);
    void found(const SearchFind &find);
    void finished();

private:
    enum class Phase { ReadAddress, Confirm, Sweep };
    void startPort();
    void nextPort();
    void sendTry();
    void judge();
    void nextReadAddressRate();
    void startSweep();
    int rate() const { return m_rates.value(m_rateIndex); }
    void finish();

    MSComm *m_line;
    QTimer m_timer;
    QList<SearchPort> m_ports;
    int m_rateInForce = 0;
    int m_marginMs = kMarginMs;
    bool m_running = false;
    int m_portIndex = 0;
    Phase m_phase = Phase::ReadAddress;
    QList<int> m_rates;
    int m_rateIndex = 0;
    QList<int> m_ratesWithBytes; // rates at which anything came back to the read-address request
    int m_address = 0;
    QByteArray m_request; // the try's request
};
