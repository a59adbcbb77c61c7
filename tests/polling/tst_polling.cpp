// Cyclic polling driven by real ticks of Timer2 over a pseudo-terminal line.
#include "common/pty.h"
#include "common/window.h"
#include "modbus/codec.h"
#include "polling/Timer.h"
#include "serial/MSComm.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QThread>

namespace {

const QString kRangeMessage = QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为50-60000!");
const QString kNumberMessage = QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为100-60000!");
const QString kCountRange = QStringLiteral("你输入的数据长度格式有误,正确的值应该为1-24!");

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    int ticks = 0;
    int stopAt = 0; // stop polling right after this tick; 0: never
    QByteArray commSet = "3,19200\r\n";

    bool open(bool linked = true)
    {
        if (linked && !pty.linkAs(h.dir.path(), 3))
            return false;
        w = &h.open(commSet);
        // Connected after the window's own handler, so it runs once the tick is done.
        QObject::connect(w->Timer2, &Timer::Tick, w, [this] {
            if (++ticks == stopAt)
                w->cmdStopOnce_Click();
        });
        return w->MSComm1->PortOpen() == linked;
    }
    void start(const QString &interval)
    {
        w->txtTimerSet->setText(interval);
        w->cmdOneM_Click();
    }
    bool waitTicks(int more, int timeoutMs = 3000)
    {
        const int target = ticks + more;
        return waitFor([&] { return ticks >= target; }, timeoutMs);
    }
};


} // namespace

class PollingTest : public QObject
{
    Q_OBJECT
private slots:
    void checksInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<int>("interval");
        QTest::newRow("50") << "50" << QString() << 50;
        QTest::newRow("60000") << "60000" << QString() << 60000;
        QTest::newRow("50.9 as 51") << "50.9" << QString() << 51;
        QTest::newRow("60000.4 as 60000") << "60000.4" << QString() << 60000;
        QTest::newRow("49") << "49" << kRangeMessage << 0;
        QTest::newRow("60001") << "60001" << kRangeMessage << 0;
        QTest::newRow("-5") << "-5" << kRangeMessage << 0;
        QTest::newRow("abc") << "abc" << kNumberMessage << 0;
        QTest::newRow("empty") << "" << kNumberMessage << 0;
    }
    void checksInterval()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(int, interval);
        Line line;
        QVERIFY(line.open());
        line.w->lblCounter->setText(QStringLiteral("7"));
        line.w->receiveCount = 9;
        line.w->PictureShow->hide();
        line.start(text);
        QCOMPARE(line.h.messageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(line.w->Timer2->Interval(), interval);
        QCOMPARE(line.w->Timer2->isRunning(), message.isEmpty());
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->lblErrCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->receiveCount, 1);
        QVERIFY(!line.w->PictureShow->isHidden());
    }

    void idleUntilFirstStart()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.w->Timer2->Enabled());
        QCOMPARE(line.w->Timer2->Interval(), 0);
        QVERIFY(!line.w->Timer2->isRunning());
        QVERIFY(line.pty.read(1, 200).isEmpty());
        QCOMPARE(line.ticks, 0);
    }

    void countsRepairsAndStopKeepsAnswerInFlight()
    {
        Line line;
        QVERIFY(line.open());
        line.w->txtDataLength->setText(QStringLiteral("abc"));
        line.stopAt = 1;
        line.start(QStringLiteral("50"));
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->lblErrCounter->text(), QStringLiteral("1"));
        const QByteArray request = line.pty.read(8);
        QCOMPARE(request.size(), 8);
        QCOMPARE(int(request[5]), 1); // the length was repaired to one register
        QCOMPARE(line.w->txtDataLength->text(), QStringLiteral("1"));
        QVERIFY(!line.w->Timer2->isRunning());
        QVERIFY(line.pty.write(withCrc(QByteArray::fromHex("0103020960"))));
        QVERIFY(waitFor([&] { return line.w->lblErrCounter->text() == QLatin1String("2"); }));
        QCOMPARE(line.w->txtValue[0]->text(), QStringLiteral("24.00"));
        QVERIFY(line.pty.read(1, 200).isEmpty()); // stopped: no further request
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("2"));
        QVERIFY(line.h.messages.isEmpty());
    }

    // The window was busy (or the module slow) until the next tick was due: the answer and the tick
    // are ready together. The answer came first and must be shown, not cleared by the next request.
    void answerDueWithTheTickIsShown_data()
    {
        QTest::addColumn<QByteArray>("commSet");
        QTest::addColumn<int>("headBytes"); // read by the window before the stall
        QTest::addColumn<int>("stallMs");
        QTest::newRow("tick due during the stall") << QByteArray("3,19200\r\n") << 0 << 80;
        QTest::newRow("two ticks due") << QByteArray("3,19200\r\n") << 0 << 130;
        QTest::newRow("part of the answer read before the stall") << QByteArray("3,19200\r\n") << 5 << 80;
    }
    void answerDueWithTheTickIsShown()
    {
        QFETCH(QByteArray, commSet);
        QFETCH(int, headBytes);
        QFETCH(int, stallMs);
        Line line;
        line.commSet = commSet;
        QVERIFY(line.open());
        line.start(QStringLiteral("50"));
        QVERIFY(line.waitTicks(1));
        QCOMPARE(line.pty.read(8).size(), 8);
        QByteArray answer = QByteArray::fromHex("010314");
        for (int i = 0; i < 10; ++i)
            answer += QByteArray::fromHex("0960");
        answer = withCrc(answer);
        QVERIFY(line.pty.write(answer.left(headBytes)));
        QTest::qWait(5);
        QVERIFY(line.pty.write(answer.mid(headBytes)));
        QThread::msleep(stallMs); // no events handled: the bytes wait in the driver, the tick falls due
        QVERIFY(line.waitTicks(1));
        line.w->cmdStopOnce_Click();
        QCOMPARE(line.w->txtValue[9]->text(), QStringLiteral("24.00"));
        QCOMPARE(line.w->receiveCount, 2);
        QCOMPARE(line.pty.read(8).size(), 8); // and the tick still sent its request
    }

    // A stall makes a tick late; the next one, due soon after it, must not follow it closely.
    void lateTickKeepsItsSpacing_data()
    {
        QTest::addColumn<int>("stallMs"); // from the start; the interval is 100 ms
        QTest::newRow("on time") << 0;
        QTest::newRow("late by 70 ms: the tick at 200 ms skipped") << 170;
        QTest::newRow("two periods missed: one tick, not a burst") << 330;
    }
    void lateTickKeepsItsSpacing()
    {
        QFETCH(int, stallMs);
        Timer timer;
        timer.setInterval(100);
        QElapsedTimer clock;
        QList<qint64> at;
        QObject::connect(&timer, &Timer::Tick, [&] { at << clock.elapsed(); });
        clock.start();
        QThread::msleep(stallMs);
        QVERIFY(waitFor([&] { return at.size() >= 3; }, 2000));
        for (int k = 1; k < at.size(); ++k)
            QVERIFY2(at[k] - at[k - 1] >= 50, qPrintable(QStringLiteral("ticks at %1 and %2 ms").arg(at[k - 1]).arg(at[k])));
    }

    void wrapsCounter_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("after");
        QTest::newRow("65536 sending") << "65536" << true << "1";
        QTest::newRow("65536 not sending") << "65536" << false << "0";
        QTest::newRow("65535 sending") << "65535" << true << "65536";
        QTest::newRow("65535 not sending") << "65535" << false << "65535";
    }
    void wrapsCounter()
    {
        QFETCH(QString, caption);
        QFETCH(bool, ready);
        QFETCH(QString, after);
        Line line;
        QVERIFY(line.open());
        line.stopAt = 1;
        line.start(QStringLiteral("50"));
        line.w->lblCounter->setText(caption);
        line.w->commReady = ready ? -1 : 0;
        QVERIFY(line.waitTicks(1));
        QCOMPARE(line.w->lblCounter->text(), after);
        QCOMPARE(line.pty.read(8, 100).size(), ready ? 8 : 0);
        QVERIFY(line.h.messages.isEmpty());
    }

    void refusedStartKeepsPolling_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("49") << "49";
        QTest::newRow("abc") << "abc";
    }
    void refusedStartKeepsPolling()
    {
        QFETCH(QString, text);
        Line line;
        QVERIFY(line.open());
        line.start(QStringLiteral("50"));
        QVERIFY(line.waitTicks(2));
        line.pty.readAvailable();
        // Ticks go on while the box is open but must neither count nor send.
        int ticksDuringBox = 0;
        QByteArray sentDuringBox;
        QString counterDuringBox;
        line.h.whileBoxOpen = [&] {
            const int before = line.ticks;
            QTest::qWait(300);
            ticksDuringBox = line.ticks - before;
            sentDuringBox = line.pty.readAvailable();
            counterDuringBox = line.w->lblCounter->text();
        };
        line.start(text);
        QCOMPARE(line.h.messages.size(), 1);
        QVERIFY(ticksDuringBox > 0);
        QVERIFY(sentDuringBox.isEmpty());
        QCOMPARE(counterDuringBox, QStringLiteral("1"));
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->lblErrCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->Timer2->Interval(), 50);
        QVERIFY(line.waitTicks(2));
        QVERIFY(line.w->lblCounter->text().toInt() >= 3);
    }

    void waitsForPortChoice()
    {
        Line line;
        QVERIFY(line.open());
        line.w->commReady = 0;
        line.start(QStringLiteral("50"));
        QVERIFY(line.waitTicks(3));
        QVERIFY(line.pty.readAvailable().isEmpty());
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("1"));
        QCOMPARE(line.w->Combo1->currentText(), QStringLiteral("COM3"));
        line.w->Combo1_Click();
        QCOMPARE(line.pty.read(8).size(), 8);
        QVERIFY(line.w->lblCounter->text().toInt() >= 2);
        QVERIFY(line.h.messages.isEmpty());
    }

    void closedPortShowsOneBox()
    {
        Line line;
        QVERIFY(line.open(false));
        QCOMPARE(int(line.w->commReady), -1);
        line.h.whileBoxOpen = [] { QTest::qWait(500); };
        line.start(QStringLiteral("50"));
        QVERIFY(waitFor([&] { return !line.h.messages.isEmpty(); }));
        QVERIFY(line.waitTicks(5));
        QCOMPARE(line.h.messageTexts(), QStringList{QStringLiteral("打开串口出错，请确定串口是否已被占用")});
        QCOMPARE(line.w->lblCounter->text(), QStringLiteral("2"));
        QCOMPARE(int(line.w->commReady), 0);
        line.w->Combo1_Click(); // a new choice that still cannot open the port is reported once more
        QVERIFY(waitFor([&] { return line.h.messages.size() == 2; }));
        QVERIFY(line.waitTicks(5));
        QCOMPARE(line.h.messages.size(), 2);
    }

    // At a long interval a new choice can come between two ticks, with no tick in between to find
    // the port closed: if it still cannot be opened, the next tick says so again.
    void closedPortReportedAgainAfterAChoice_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("port choice") << false;
        QTest::newRow("apply-and-save") << true;
    }
    void closedPortReportedAgainAfterAChoice()
    {
        QFETCH(bool, save);
        const QString closed = QStringLiteral("打开串口出错，请确定串口是否已被占用");
        Line line;
        QVERIFY(line.open(false));
        line.start(QStringLiteral("60000")); // the ticks are run by hand
        line.w->Timer2_Timer();
        QCOMPARE(line.h.messageTexts(), QStringList{closed});
        if (save)
            line.w->cmdCom_Click();
        else
            line.w->Combo1_Click();
        QCOMPARE(int(line.w->commReady), -1);
        line.w->Timer2_Timer();
        QCOMPARE(line.h.messageTexts().count(closed), 2);
    }

    void badFieldShowsBoxOnceUntilMended()
    {
        Line line;
        QVERIFY(line.open());
        line.h.whileBoxOpen = [] { QTest::qWait(200); };
        line.w->txtDataLength->setText(QStringLiteral("30"));
        line.start(QStringLiteral("50"));
        QVERIFY(waitFor([&] { return !line.h.messages.isEmpty(); }));
        QVERIFY(line.waitTicks(5));
        QCOMPARE(line.h.messageTexts(), QStringList{kCountRange});
        QVERIFY(line.pty.readAvailable().isEmpty());
        line.w->txtDataLength->setText(QStringLiteral("10"));
        QCOMPARE(line.pty.read(8).size(), 8); // a tick passed all checks
        line.w->txtDataLength->setText(QStringLiteral("30"));
        QVERIFY(waitFor([&] { return line.h.messages.size() == 2; }));
        QVERIFY(line.waitTicks(5));
        QCOMPARE(line.h.messageTexts(), (QStringList{kCountRange, kCountRange}));
    }
};

QTEST_MAIN(PollingTest)
#include "tst_polling.moc"
