// What the window must survive: a flooded line, an unplugged device, a noisy module, a broken
// comm.set and nonsense in every field. Real pseudo-terminals and the virtual module throughout.
#include "common/pty.h"
#include "common/window.h"
#include "modbus/codec.h"
#include "polling/Timer.h"
#include "serial/MSComm.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <random>
#include <thread>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kClosedPort = QStringLiteral("打开串口出错，请确定串口是否已被占用");
const int kValues[10] = {2150, 4530, -1275, 6120, 2599, 3999, 0, 10000, 1999, -500};
QString shown(int i) { return QString::number(kValues[i] / 100.0, 'f', 2); } // box i for the module's value

bool isBlack(const QLineEdit *box) { return textColor(box) == QColor(0, 0, 0); }
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sim // the virtual module with the values above, linked as COM3 of dir
{
    QProcess process;
    ~Sim() { process.kill(); process.waitForFinished(5000); }
    bool start(const QString &dir, const QStringList &faults = {})
    {
        QStringList values;
        for (int v : kValues)
            values << QString::number(v);
        process.start(QStringLiteral(KV_SIM_PATH), QStringList{"--link", QDir(dir).filePath("COM3"), "--quiet", "--seed", "7",
                                                               "--values", values.join(u',')} + faults);
        return waitFor([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 5000)
            && process.readLine().startsWith('/');
    }
};

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    int ticks = 0;
    bool open(bool linkPty = true)
    {
        if (linkPty && !pty.linkAs(h.dir.path(), 3))
            return false;
        w = &h.open("3,19200\r\n");
        QObject::connect(w->Timer2, &Timer::Tick, w, [this] { ++ticks; });
        return w->MSComm1->PortOpen();
    }
    void start() { w->txtTimerSet->setText(QStringLiteral("50")); w->cmdOneM_Click(); }
    bool waitTicks(int more)
    {
        const int target = ticks + more;
        return waitFor([&] { return ticks >= target; }, 5000);
    }
    int requests() const { return w->lblCounter->text().toInt(); }
};

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void floodLeavesWindowUsable()
    {
        Line line;
        QVERIFY(line.open());
        frmMain &w = *line.w;
        QStringList before;
        for (QLineEdit *box : w.txtValue)
            before << box->text();
        line.start();
        std::atomic<bool> stop{false};
        std::atomic<qint64> flooded{0};
        std::thread farEnd([fd = line.pty.masterFd(), &stop, &flooded] { // random bytes as fast as the line takes them
            std::mt19937 random(8);
            char chunk[256], sink[256];
            while (!stop) {
                for (char &c : chunk)
                    c = char(random());
                pollfd p{fd, POLLOUT | POLLIN, 0};
                ::poll(&p, 1, 10);
                while ((p.revents & POLLIN) && ::read(fd, sink, sizeof sink) > 0) { // requests are dropped
                }
                if (p.revents & POLLOUT)
                    flooded += std::max<ssize_t>(0, ::write(fd, chunk, sizeof chunk));
            }
        });
        // A click posted every 200 ms, as the window system would deliver it; timed until it ran.
        QElapsedTimer clock;
        clock.start();
        qint64 postedAt = -1, nextClick = 0, worstClick = 0, firstResident = 0;
        int clicks = 0, mostWaiting = 0;
        connect(w.comDoOnce, &QPushButton::clicked, &w, [&] {
            worstClick = std::max(worstClick, clock.elapsed() - postedAt);
            postedAt = -1;
            ++clicks;
        });
        // Ten seconds at least, and then until enough went through, however slowly a busy machine runs us.
        const bool ran = waitFor([&] {
            const qint64 now = clock.elapsed();
            mostWaiting = std::max<int>(mostWaiting, w.MSComm1->InBufferCount());
            if (postedAt < 0 && now >= nextClick) {
                postedAt = now;
                nextClick = now + 200;
                QMetaObject::invokeMethod(w.comDoOnce, &QAbstractButton::click, Qt::QueuedConnection);
            }
            if (firstResident == 0 && now >= 1000)
                firstResident = residentBytes();
            return now >= 10000 && postedAt < 0 && clicks >= 40 && flooded > 1024 * 1024 && w.receiveCount > 200;
        }, 120000);
        [[maybe_unused]] const qint64 lastResident = residentBytes(); // not compared under the sanitizer
        stop = true;
        farEnd.join();

        QVERIFY2(ran, qPrintable(QStringLiteral("%1 clicks, %2 bytes, %3 notifications").arg(clicks).arg(qint64(flooded)).arg(w.receiveCount)));
        QVERIFY2(w.MSComm1->PortOpen(), qPrintable(line.h.messageTexts().value(0)));
        QVERIFY(mostWaiting <= MSComm::kInBufferSize);
        // Generous, so a busy machine cannot fail it; a flood that held the event loop would hold a click far longer.
        QVERIFY2(worstClick < 2000, qPrintable(QStringLiteral("a click waited %1 ms").arg(worstClick)));
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's quarantine keeps freed memory resident on purpose
        QVERIFY2(lastResident - firstResident < 2 * 1024 * 1024, qPrintable(QStringLiteral("%1 -> %2").arg(firstResident).arg(lastResident)));
#endif
        for (int i = 0; i < 10; ++i)
            QCOMPARE(w.txtValue[i]->text(), before[i]);
        QCOMPARE(line.h.messageTexts(), QStringList());
    }

    // The module's process is killed, which closes its end of the line as an unplugged adapter would.
    void unplugReportsOnceAndResumes()
    {
        Line line;
        Sim sim, simAgain;
        const QString dir = line.h.dir.path();
        QVERIFY(sim.start(dir));
        QVERIFY(line.open(false));
        line.start();
        QVERIFY(waitFor([&] { return line.w->txtValue[9]->text() == shown(9); }));
        sim.process.kill(); // SIGKILL: no chance to tidy up its end of the line
        QVERIFY(waitFor([&] { return !line.w->MSComm1->PortOpen(); }));
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QVERIFY(line.waitTicks(20));
        const double cpu = cpuSeconds() - cpuBefore, seconds = wall.elapsed() / 1000.0;
        QCOMPARE(line.h.messageTexts(), QStringList{kClosedPort});
        QVERIFY2(cpu < 0.5 * seconds, qPrintable(QStringLiteral("%1 s of CPU in %2 s").arg(cpu).arg(seconds)));

        // The device is back under the same name: choosing the port again resumes the polling.
        QVERIFY(simAgain.start(dir));
        for (QLineEdit *box : line.w->txtValue)
            box->setText(QStringLiteral("stale"));
        const int sentBefore = line.requests();
        line.w->Combo1_Click();
        QVERIFY(waitFor([&] { return line.w->txtValue[9]->text() == shown(9); }));
        QVERIFY(line.requests() > sentBefore);
        QCOMPARE(line.h.messages.size(), 1);
    }

    void noisyModuleNeverShowsWrongValue_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("split answers") << QStringList{"--split"};
        QTest::newRow("noise between answers") << QStringList{"--garbage"};
        QTest::newRow("corrupt 0.3") << QStringList{"--corrupt", "0.3"};
        QTest::newRow("drop 0.3") << QStringList{"--drop", "0.3"};
    }
    void noisyModuleNeverShowsWrongValue()
    {
        QFETCH(QStringList, faults);
        Line line;
        Sim sim;
        QVERIFY(sim.start(line.h.dir.path(), faults));
        QVERIFY(line.open(false));
        QStringList wrong;
        for (int i = 0; i < 10; ++i)
            connect(line.w->txtValue[i], &QLineEdit::textChanged, line.w, [&wrong, i](const QString &text) {
                if (text != shown(i))
                    wrong << QStringLiteral("box %1 written %2").arg(i).arg(text);
            });
        line.start();
        int ahead = 0; // receive notifications counted beyond the requests sent, at worst
        QVERIFY(waitFor([&] {
            ahead = std::max(ahead, line.w->receiveCount - line.requests());
            return line.ticks >= 40;
        }, 8000));
        line.w->cmdStopOnce_Click();
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.value(0)));
        QVERIFY2(ahead <= 0, qPrintable(QString::number(ahead)));
        if (faults.contains(QStringLiteral("--drop")))
            QVERIFY(line.w->receiveCount < line.requests());
        for (int i = 0; i < 10; ++i)
            QCOMPARE(line.w->txtValue[i]->text(), shown(i));
        QVERIFY(line.h.messages.isEmpty());
    }

    // Noise passes a 16-bit CRC once in 65536 tries, which a flood reaches in seconds.
    void noiseWithMatchingCrcShowsNothing_data()
    {
        QTest::addColumn<QByteArray>("head"); // the answer's first three bytes; the request is 01 03 .. 0A
        QTest::newRow("02 03 14: another address") << QByteArray::fromHex("020314");
        QTest::newRow("01 04 14: another function") << QByteArray::fromHex("010414");
        QTest::newRow("01 03 30: another byte count") << QByteArray::fromHex("010330");
    }
    void noiseWithMatchingCrcShowsNothing()
    {
        QFETCH(QByteArray, head);
        Line line;
        QVERIFY(line.open());
        line.w->comDoOnce_Click();
        QCOMPARE(line.pty.read(8).size(), 8);
        QVERIFY(line.pty.write(withCrc(head + QByteArray(20, '\x11'))));
        QVERIFY(waitFor([&] { return !line.w->txtState->text().isEmpty(); }));
        for (const QLineEdit *box : line.w->txtValue)
            QVERIFY2(!isBlack(box) && box->text() == QLatin1String("0"), qPrintable(box->text()));
    }

    void brokenSettingsFileLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("directory") << "dir" << QByteArray();
        QTest::newRow("unreadable") << "file000" << QByteArray("3,19200\r\n");
        QTest::newRow("link to missing target") << "link" << QByteArray();
        QTest::newRow("line without CR LF") << "file" << QByteArray("3,19200");
        QTest::newRow("NUL inside the line") << "file" << QByteArray("3,19\0" "200\r\n", 10);
    }
    void brokenSettingsFileLeftAlone()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, contents);
        Pty pty;
        WindowHarness h;
        QVERIFY(pty.linkAs(h.dir.path(), 3));
        const QString path = h.dir.filePath(QStringLiteral("comm.set"));
        auto snapshot = [&] {
            const QFileInfo info(path);
            if (info.isSymLink() || info.isDir())
                return QStringLiteral("%1 -> %2, exists %3").arg(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(u' '),
                                                                  info.symLinkTarget()).arg(info.exists());
            QFile file(path);
            const QFile::Permissions mode = file.permissions();
            file.setPermissions(mode | QFile::ReadOwner); // the test's own look, whatever the mode
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("?");
            file.close();
            file.setPermissions(mode);
            return QStringLiteral("mode %1, %2 bytes, hash %3").arg(int(mode)).arg(bytes.size()).arg(qHash(bytes));
        };
        if (kind == QLatin1String("dir"))
            QVERIFY(QDir(h.dir.path()).mkpath(QStringLiteral("comm.set/kept")));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(h.dir.filePath(QStringLiteral("missing")), path));
        else
            h.writeCommSet(contents);
        if (kind == QLatin1String("file000")) {
            QVERIFY(QFile::setPermissions(path, {}));
            if (QFile file(path); file.open(QIODevice::ReadOnly))
                QSKIP("this user reads a file of mode 000 (root)");
        }
        const QString before = snapshot();
        frmMain &w = h.open();
        QVERIFY(h.messages.size() <= 1); // reported once at most
        if (contents == "3,19200")
            QVERIFY(w.MSComm1->PortOpen() && w.CommRate == 19200);
        w.Combo1_Click();
        w.comDoOnce_Click();
        h.window.reset();
        QCOMPARE(snapshot(), before);
    }

    // One field at a time holds nonsense, the others valid (address 1, function 3, start 0, 10
    // registers, change 1 to 2, 50 ms): a refused action sends nothing and says why, the others send
    // exactly their frame.
    void badInputRefusedOrIgnored_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages"); // of the read, the change and the polling, in order
        QTest::addColumn<QByteArray>("sent");      // by the read and the change, in order
        QTest::addColumn<QByteArray>("polled");    // by each polling tick; empty: nothing
        const QByteArray read = QByteArray::fromHex("01030000000AC5CD"), change = QByteArray::fromHex("01060B0000020A2F");
        const QByteArray readOne = QByteArray::fromHex("010300000001840A"); // a tick mends a count that is no number to 1
        const QString badField[] = {QStringLiteral("你输入的设备地址格式有误!"), QStringLiteral("你输入的功能码格式有误!"),
                                    QStringLiteral("你输入的起始地址格式有误!"), QStringLiteral("你输入的数据长度格式有误!")};
        const QString countRange = QStringLiteral("你输入的数据长度格式有误,正确的值应该为1-24!");
        const QString notInterval = QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为100-60000!");
        const QString intervalRange = QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为50-60000!");
        const char *names[] = {"txtStationID", "txtFunID", "txtStartID", "txtDataLength", "txtSetID(0)", "txtSetID(1)", "txtTimerSet"};
        struct Text { QString text; bool number; }; // number: reads as a finite number, too big for its field
        const Text texts[] = {{"1e30", true}, {"99999999999999999999", true}, {"1e400", false},
                              {"NaN", false}, {"inf", false}, {QStringLiteral("１"), false}, {QString(10000, u'9'), false}};
        for (int field = 0; field < 7; ++field) {
            for (const Text &t : texts) {
                QStringList messages;
                QByteArray sent = read + change, polled = read;
                if (field <= 3) {
                    const QString why = field == 3 && t.number ? countRange : badField[field];
                    messages << why;
                    sent = change;
                    if (field == 3 && !t.number) {
                        polled = readOne;
                    } else {
                        messages << why; // once for all ticks
                        polled.clear();
                    }
                } else if (field <= 5) {
                    messages << badField[0];
                    sent = read;
                } else {
                    messages << (t.number ? intervalRange : notInterval);
                    polled.clear();
                }
                QTest::addRow("%s %s", names[field], qPrintable(t.text.size() > 20 ? QStringLiteral("10000 digits") : t.text))
                    << field << t.text << messages << sent << polled;
            }
        }
    }
    void badInputRefusedOrIgnored()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, polled);
        Line line;
        QVERIFY(line.open());
        frmMain &w = *line.w;
        QLineEdit *fields[] = {w.txtStationID, w.txtFunID, w.txtStartID, w.txtDataLength, w.txtSetID[0], w.txtSetID[1], w.txtTimerSet};
        const char *valid[] = {"1", "3", "0", "10", "1", "2", "50"};
        for (int i = 0; i < 7; ++i)
            fields[i]->setText(QLatin1String(valid[i]));
        fields[field]->setText(text);
        w.comDoOnce_Click();
        w.cmdChangeID_Click();
        QCOMPARE(line.pty.read(int(sent.size())).toHex(' '), sent.toHex(' '));
        w.cmdOneM_Click();
        if (polled.isEmpty()) {
            if (w.Timer2->isRunning())
                QVERIFY(line.waitTicks(3));
            QCOMPARE(line.pty.readAvailable().toHex(' '), QByteArray());
        } else {
            const QByteArray got = line.pty.read(16, 5000);
            QVERIFY2(got.size() >= 16, got.toHex(' '));
            QCOMPARE(got.toHex(' '), polled.repeated(got.size() / 8).toHex(' '));
        }
        QCOMPARE(line.h.messageTexts(), messages);
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
