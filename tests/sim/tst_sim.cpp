// The virtual module checked from outside: by mbpoll, a Modbus master written by others, and by raw
// frames over the pty, so a framing or CRC mistake shared with the tool cannot hide.
#include "modbus/codec.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int kValues[10] = {2150, 4530, -1275, 6120, 2599, 3999, 0, 10000, 32767, -32768};
const int kFaultChannel = 4; // registers 6 and 7

// The register the module should hold, from what it was given.
quint16 expectedRegister(int reg)
{
    if (reg >= 10)
        return 0;
    return reg / 2 + 1 == kFaultChannel ? 0xFFFF : quint16(kValues[reg]);
}

QString valuesArgument()
{
    QStringList parts;
    for (int v : kValues)
        parts << QString::number(v);
    return parts.join(u',');
}

// The far end as a raw master: the slave path opened with termios, 19200 8N1.
class RawLine
{
public:
    explicit RawLine(const QString &path) : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        if (m_fd >= 0 && tcgetattr(m_fd, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetspeed(&tio, B19200);
            tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~RawLine() { if (m_fd >= 0) ::close(m_fd); }
    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes) { return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    QByteArray read(int count, int timeoutMs = 2000)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(timeoutMs);
        while (bytes.size() < count && !deadline.hasExpired()) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, int(deadline.remainingTime())) > 0) {
                char buffer[64];
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n > 0)
                    bytes.append(buffer, n);
            }
        }
        return bytes;
    }

private:
    int m_fd;
};

} // namespace

class tst_Sim : public QObject
{
    Q_OBJECT

private:
    QProcess m_sim;
    QString m_path;

    bool startSim(const QStringList &extra)
    {
        m_sim.start(QStringLiteral(KV_SIM_PATH), QStringList{"--quiet", "--values", valuesArgument(), "--fault",
                                                             QString::number(kFaultChannel)} + extra);
        QDeadlineTimer deadline(5000);
        while (!m_sim.canReadLine() && !deadline.hasExpired() && m_sim.state() != QProcess::NotRunning)
            m_sim.waitForReadyRead(int(deadline.remainingTime()));
        m_path = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        return m_path.startsWith(u'/');
    }

    static QString mbpoll() { return QStandardPaths::findExecutable(QStringLiteral("mbpoll")); }

    // Runs mbpoll once against the module; returns its exit code, fills the registers it printed.
    int runMbpoll(const QStringList &args, QMap<int, quint16> &registers, QString &output)
    {
        QProcess master;
        master.setProcessChannelMode(QProcess::MergedChannels);
        master.start(mbpoll(), QStringList{"-m", "rtu", "-b", "19200", "-P", "none", "-0", "-1", "-o", "0.5"} + args + QStringList{m_path});
        if (!master.waitForFinished(15000))
            return -1;
        output = QString::fromLocal8Bit(master.readAll());
        // "[3]: \t65036 (-500)": the reference and the register read unsigned.
        static const QRegularExpression row(QStringLiteral(R"(^\[(\d+)\]:\s+(\d+))"), QRegularExpression::MultilineOption);
        for (auto it = row.globalMatch(output); it.hasNext();) {
            const auto m = it.next();
            registers.insert(m.captured(1).toInt(), quint16(m.captured(2).toUInt()));
        }
        return master.exitCode();
    }

private slots:
    void cleanup()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.terminate(); // SIGTERM to the simulator's own pid
            if (!m_sim.waitForFinished(5000))
                m_sim.kill();
        }
    }

    void readsGivenValues_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("count");
        QTest::newRow("fn 03 registers 0-9") << "4" << 0 << 10;
        QTest::newRow("fn 04 registers 0-9") << "3" << 0 << 10;
        QTest::newRow("fn 03 registers 5-14 into the zero registers") << "4" << 5 << 10;
        QTest::newRow("fn 04 all 24 registers") << "3" << 0 << 24;
        QTest::newRow("fn 03 last register 23") << "4" << 23 << 1;
    }
    void readsGivenValues()
    {
        if (mbpoll().isEmpty())
            QSKIP("mbpoll is not installed (apt-get install mbpoll): no independent master to check against");
        QFETCH(QString, table);
        QFETCH(int, start);
        QFETCH(int, count);
        QVERIFY(startSim({}));
        QMap<int, quint16> registers;
        QString output;
        QCOMPARE(runMbpoll({"-a", "1", "-t", table, "-r", QString::number(start), "-c", QString::number(count)}, registers, output), 0);
        QCOMPARE(registers.size(), count);
        for (int reg = start; reg < start + count; ++reg)
            QVERIFY2(registers.value(reg, 0x1234) == expectedRegister(reg), qPrintable(QString("register %1 in:\n%2").arg(reg).arg(output)));
    }

    void refusedReads_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("address 7 gets no answer") << QStringList{"-a", "7", "-t", "4", "-c", "10"} << "timed out";
        QTest::newRow("registers 20-29 past the table: exception 02") << QStringList{"-a", "1", "-t", "3", "-r", "20", "-c", "10"} << "Illegal data address";
        QTest::newRow("master at 9600 against 19200 gets no answer") << QStringList{"-a", "1", "-b", "9600", "-c", "10"} << "timed out";
    }
    void refusedReads()
    {
        if (mbpoll().isEmpty())
            QSKIP("mbpoll is not installed (apt-get install mbpoll): no independent master to check against");
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QVERIFY(startSim({}));
        QMap<int, quint16> registers;
        QString output;
        QVERIFY(runMbpoll(args, registers, output) != 0);
        QVERIFY2(registers.isEmpty() && output.contains(error), qPrintable(output));
    }

    void answersReadAddress_data()
    {
        QTest::addColumn<int>("address");
        QTest::newRow("address 1") << 1;
        QTest::newRow("address 17") << 17;
        QTest::newRow("address 247") << 247;
    }
    void answersReadAddress()
    {
        QFETCH(int, address);
        QVERIFY(startSim({"--address", QString::number(address)}));
        RawLine line(m_path);
        QVERIFY(line.isOpen());
        QVERIFY(line.write(QByteArray::fromHex("FA2502000001" "99FE")));
        const QByteArray answer = line.read(6);
        QCOMPARE(answer.size(), 6);
        QVERIFY2(answerCrcMatches(answer, 6), answer.toHex(' ').constData());
        QCOMPARE(quint8(answer[1]), quint8(0x25));
        QCOMPARE(int(quint8(answer[3])), address);
        QCOMPARE(int(quint8(answer[0])), address);
    }

    void changesAddress()
    {
        if (mbpoll().isEmpty())
            QSKIP("mbpoll is not installed (apt-get install mbpoll): no independent master to check against");
        QVERIFY(startSim({}));
        {
            RawLine line(m_path);
            QVERIFY(line.isOpen());
            const QByteArray request = QByteArray::fromHex("01060B000002" "0A2F");
            QVERIFY(line.write(request));
            QCOMPARE(line.read(8), request);
        }
        QMap<int, quint16> registers;
        QString output;
        QCOMPARE(runMbpoll({"-a", "2", "-t", "4", "-r", "0", "-c", "2"}, registers, output), 0);
        QCOMPARE(registers.value(0), expectedRegister(0));
        QCOMPARE(registers.value(1), expectedRegister(1));
        registers.clear();
        QVERIFY(runMbpoll({"-a", "1", "-t", "4", "-r", "0", "-c", "2"}, registers, output) != 0);
        QVERIFY2(registers.isEmpty() && output.contains("timed out"), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(tst_Sim)
#include "tst_sim.moc"
