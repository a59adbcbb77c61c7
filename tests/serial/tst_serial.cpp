// The serial component over a real pseudo-terminal: line settings, writing, the receive
// notification, the receive buffer and its cap, a far end that goes away, and port names.
#include "common/pty.h"
#include "common/window.h"
#include "serial/MSComm.h"
#include "serial/portname.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// Beyond the window's sixteen entries: the component takes more.
constexpr int kPort = 41;

struct Line
{
    QTemporaryDir dir;
    Pty pty;
    MSComm comm{dir.path()};
    QList<qint16> events; // CommEvent of every notification, read as it is delivered

    Line() { QObject::connect(&comm, &MSComm::OnComm, &comm, [this] { events << comm.CommEvent(); }); }
    bool open(const QString &settings = QStringLiteral("9600,N,8,1"))
    {
        return pty.linkAs(dir.path(), kPort) && comm.setCommPort(kPort) && comm.setSettings(settings)
            && comm.setPortOpen(true) && comm.PortOpen();
    }
    // Lets queued notifications arrive: a bounded wait for something that must not happen.
    static void settle() { QTest::qWait(100); }
};

// Bytes waiting in the driver for the tool's side, counted through a second descriptor of the
// same terminal and without running the event loop (which would let the component read them).
bool waitInDriver(const QString &slave, int count)
{
    const int fd = ::open(slave.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int waiting = 0;
    for (QDeadlineTimer deadline(2000); !deadline.hasExpired();) {
        if (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting >= count)
            break;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 10);
    }
    ::close(fd);
    return waiting >= count;
}

// Writes bytes from the far end on a thread of its own, each at its character time, as a line does.
class PacedWriter
{
public:
    PacedWriter(int fd, QByteArray bytes, double characterUs)
        : m_thread([=] {
              auto next = std::chrono::steady_clock::now();
              for (char byte : bytes) {
                  next += std::chrono::microseconds(qint64(characterUs));
                  std::this_thread::sleep_until(next);
                  if (::write(fd, &byte, 1) != 1)
                      return;
              }
          })
    {
    }
    ~PacedWriter() { m_thread.join(); }

private:
    std::thread m_thread;
};

qint64 cpuMicroseconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
}

} // namespace

class SerialTest : public QObject
{
    Q_OBJECT
private slots:
    // Rate and stop bits as the far end of the line sees them.
    void settingsReachTheLine_data()
    {
        QTest::addColumn<QString>("atOpen");
        QTest::addColumn<QString>("whileOpen");
        QTest::newRow("9600, then 38400") << "9600,N,8,1" << "38400,N,8,1";
        QTest::newRow("19200, then 9600") << "19200,N,8,1" << "9600,N,8,1";
        QTest::newRow("38400 with two stop bits, then 19200 with one") << "38400,N,8,2" << "19200,N,8,1";
    }
    void settingsReachTheLine()
    {
        QFETCH(QString, atOpen);
        QFETCH(QString, whileOpen);
        const auto onTheLine = [](const Pty &pty) { return QStringLiteral("%1 %2").arg(pty.baudRate()).arg(pty.stopBits()); };
        const auto asSet = [](const QString &settings) {
            return settings.section(QLatin1Char(','), 0, 0) + QLatin1Char(' ') + settings.section(QLatin1Char(','), 3);
        };
        Line line;
        QVERIFY(line.open(atOpen));
        QCOMPARE(onTheLine(line.pty), asSet(atOpen));
        QVERIFY(line.comm.setSettings(whileOpen));
        QCOMPARE(onTheLine(line.pty), asSet(whileOpen));
    }

    void refusedSettingsChangeNothing_data()
    {
        QTest::addColumn<QString>("settings");
        for (const char *text : {"abc", "19200,N,8", "12345,N,8,1", "19200,X,8,1", "19200,N,9,1"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void refusedSettingsChangeNothing()
    {
        QFETCH(QString, settings);
        Line line;
        QVERIFY(line.comm.setSettings(QStringLiteral("38400,N,8,1")));
        QVERIFY(!line.comm.setSettings(settings)); // while closed
        QCOMPARE(line.comm.Settings(), QStringLiteral("38400,N,8,1"));
        QVERIFY(line.pty.linkAs(line.dir.path(), kPort) && line.comm.setCommPort(kPort));
        QVERIFY(line.comm.setPortOpen(true));
        QCOMPARE(line.pty.baudRate(), 38400);
        QVERIFY(!line.comm.setSettings(settings)); // while open
        QCOMPARE(line.pty.baudRate(), 38400);
        QCOMPARE(line.comm.Settings(), QStringLiteral("38400,N,8,1"));
    }

    void closedPort()
    {
        Line line;
        QVERIFY(!line.comm.setCommPort(0) && !line.comm.setCommPort(-1));
        QCOMPARE(int(line.comm.CommPort()), 1);
        // Requests prepare the component before they look at the port.
        QVERIFY(line.comm.setInputMode(1) && line.comm.setInputLen(0) && line.comm.setInBufferCount(0)
                && line.comm.setOutBufferCount(0) && line.comm.setSThreshold(0) && line.comm.setRThreshold(6));
        QVERIFY(QFile::link(line.dir.filePath("unplugged"), line.dir.filePath(QStringLiteral("COM%1").arg(kPort))));
        QVERIFY(line.comm.setCommPort(kPort));
        QVERIFY(!line.comm.setPortOpen(true));
        QVERIFY(!line.comm.PortOpen());
        QVERIFY(!line.comm.setOutput("x"));
    }

    void portNumberFixedWhileOpen()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(!line.comm.setCommPort(kPort + 1));
        QCOMPARE(int(line.comm.CommPort()), kPort);
    }

    void outputWritesAllBytesInOrder()
    {
        Line line;
        QVERIFY(line.open());
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes += char(255 - i);
        QVERIFY(line.comm.setOutput(bytes));
        QCOMPARE(line.pty.read(256).toHex(' '), bytes.toHex(' '));
    }

    void receiveNotificationAtThreshold_data()
    {
        QTest::addColumn<int>("threshold");
        for (int n : {0, 1, 2, 6, 25})
            QTest::newRow(qPrintable(QStringLiteral("threshold %1").arg(n))) << n;
    }
    void receiveNotificationAtThreshold()
    {
        QFETCH(int, threshold);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.comm.setRThreshold(qint16(threshold)));
        const QByteArray before(threshold > 0 ? threshold - 1 : 40, 'a');
        QVERIFY(line.pty.write(before));
        QVERIFY(waitFor([&] { return line.comm.InBufferCount() == before.size(); }));
        Line::settle();
        QVERIFY(line.events.isEmpty());
        if (threshold == 0)
            return; // 0 switches the notification off however many bytes wait
        QVERIFY(line.pty.write("z"));
        QTRY_COMPARE(line.events, QList<qint16>{MSComm::comEvReceive});
        Line::settle();
        QCOMPARE(line.events.size(), 1);
        QCOMPARE(line.comm.Input(), before + 'z');
    }

    // An answer that comes a byte at a time, as a line delivers it: every byte arrives, in order, and
    // the notification comes once the threshold is reached.
    void pacedAnswerArrivesWhole_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("threshold");
        QTest::newRow("9600, a whole answer") << 9600 << 25 << 25;
        QTest::newRow("19200, a whole answer") << 19200 << 25 << 25;
        QTest::newRow("115200, a whole answer") << 115200 << 25 << 25;
        QTest::newRow("9600, an answer cut short") << 9600 << 5 << 25;
        QTest::newRow("9600, two bytes of an answer") << 9600 << 2 << 25;
        QTest::newRow("9600, more than expected") << 9600 << 30 << 25;
    }
    void pacedAnswerArrivesWhole()
    {
        QFETCH(int, baud);
        QFETCH(int, length);
        QFETCH(int, threshold);
        Line line;
        QVERIFY(line.open(QStringLiteral("%1,N,8,1").arg(baud)));
        QVERIFY(line.comm.setRThreshold(qint16(threshold)));
        QVERIFY(line.comm.setOutput("request"));
        QByteArray answer(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            answer[i] = char(0xA0 + i);
        PacedWriter far(line.pty.masterFd(), answer, 10e6 / baud);
        QVERIFY(waitFor([&] { return line.comm.InBufferCount() == length; }));
        Line::settle();
        // Bytes past the threshold notify again, as every arrival at or above it does.
        QCOMPARE(line.events.isEmpty(), length < threshold);
        QCOMPARE(line.events.count(MSComm::comEvReceive), line.events.size());
        QCOMPARE(line.comm.Input(), answer);
    }

    void discardWaitingBytes_data()
    {
        QTest::addColumn<bool>("inDriver");
        QTest::newRow("bytes taken in by the component") << false;
        QTest::newRow("bytes still in the driver") << true;
    }
    // Discarded bytes are gone for the window, yet what was written and what was read, the discarded
    // bytes too, reaches the traffic signals.
    void discardWaitingBytes()
    {
        QFETCH(bool, inDriver);
        Line line;
        QVERIFY(line.open());
        QSignalSpy sent(&line.comm, &MSComm::sent), received(&line.comm, &MSComm::received);
        const qint64 before = MSComm::steadyNs();
        QVERIFY(line.comm.setOutput("request"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0][0].toByteArray(), QByteArray("request"));
        QVERIFY(sent[0][1].toLongLong() >= before && sent[0][1].toLongLong() <= MSComm::steadyNs());
        QVERIFY(line.pty.write("stale bytes"));
        if (inDriver)
            QVERIFY(waitInDriver(line.pty.slavePath(), 11));
        else
            QVERIFY(waitFor([&] { return line.comm.InBufferCount() == 11; }));
        QVERIFY(line.comm.setInBufferCount(0));
        QCOMPARE(int(line.comm.InBufferCount()), 0);
        QByteArray announced;
        for (const QList<QVariant> &args : received)
            announced += args[0].toByteArray();
        QCOMPARE(announced, QByteArray("stale bytes"));
        QVERIFY(received.last()[1].toLongLong() > sent[0][1].toLongLong());
        Line::settle();
        QCOMPARE(int(line.comm.InBufferCount()), 0);
        QVERIFY(line.pty.write("new"));
        QVERIFY(waitFor([&] { return line.comm.InBufferCount() == 3; }));
        QCOMPARE(line.comm.Input(), QByteArray("new"));
    }

    void closingIsAnnounced_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::newRow("closed by the window") << false;
        QTest::newRow("far end gone") << true;
    }
    void closingIsAnnounced()
    {
        QFETCH(bool, lost);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.comm.setRThreshold(1));
        QSignalSpy closed(&line.comm, &MSComm::closed);
        if (lost)
            line.pty.closeMaster();
        else
            QVERIFY(line.comm.setPortOpen(false));
        QVERIFY(waitFor([&] { return !line.comm.PortOpen(); }));
        Line::settle();
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed[0][0].toBool(), lost);
    }

    void floodIsCappedAt1024Bytes()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.comm.setRThreshold(0));
        QByteArray flood(64 * 1024, Qt::Uninitialized);
        for (int i = 0; i < flood.size(); ++i)
            flood[i] = char(i % 251);
        QVERIFY(line.pty.write(flood));
        QVERIFY(waitFor([&] { return !line.events.isEmpty() && line.comm.InBufferCount() == 1024; }));
        Line::settle();
        QCOMPARE(int(line.comm.InBufferCount()), 1024);
        QVERIFY(!line.events.contains(qint16(MSComm::comEvReceive)));
        QCOMPARE(line.comm.Input(), flood.left(1024));
        QCOMPARE(int(line.comm.InBufferCount()), 0);
    }

    void vanishedFarEndClosesThePortOnce()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.comm.setRThreshold(1));
        line.pty.closeMaster();
        QVERIFY(waitFor([&] { return !line.comm.PortOpen() && !line.events.isEmpty(); }));
        QEventLoop loop;
        const qint64 cpuBefore = cpuMicroseconds();
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
        const qint64 cpuSpent = cpuMicroseconds() - cpuBefore;
        QVERIFY2(cpuSpent < 100000, qPrintable(QStringLiteral("%1 us of CPU while idle").arg(cpuSpent)));
        QCOMPARE(line.events.size(), 1);
        QVERIFY(line.events.first() != MSComm::comEvReceive);
        QVERIFY(!line.comm.PortOpen());
        QVERIFY(!line.comm.setOutput("x"));
    }

    void portNames_data()
    {
        QTest::addColumn<QString>("link"); // what COM5 in the program directory is: "pty", "dangling", none
        QTest::newRow("link to a terminal") << "pty";
        QTest::newRow("dangling link keeps the user's choice") << "dangling";
        QTest::newRow("no link: the fifth ttyS") << "";
    }
    void portNames()
    {
        QFETCH(QString, link);
        QTemporaryDir dir;
        Pty pty;
        const QString com5 = dir.filePath("COM5");
        QVERIFY(link == "pty" ? pty.linkAs(dir.path(), 5) : link.isEmpty() || QFile::link(dir.filePath("gone"), com5));
        const QString name = portDeviceName(5, dir.path());
        if (link == "pty")
            QCOMPARE(QFileInfo(name).canonicalFilePath(), pty.slavePath());
        else
            QCOMPARE(name, link.isEmpty() ? QStringLiteral("/dev/ttyS4") : com5);
    }
};

QTEST_GUILESS_MAIN(SerialTest)
#include "tst_serial.moc"
