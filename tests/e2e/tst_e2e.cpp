// The real kv4820-tool against the virtual module: the preloaded driver library drives the window
// in-process and reports what it showed; the module's log says what went over the line.
#include <QColor>
#include <QtTest>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

const QString black = QColor(0, 0, 0).name();

// Eight bytes, "HH HH HH HH HH HH HH HH", after the time stamp of a frame's log line.
int requestsIn(const QString &frame) { return (frame.mid(13).section(" -"_L1, 0, 0).size() + 1) / 24; }

// One run: the module linked as COM1 of a temporary program directory holding a copy of the tool
// (the tool finds comm.set beside its resolved executable, so a link would not do). The module's log
// goes to sim.log there, where the driver too can see when an answer has left the module.
struct Run
{
    QTemporaryDir dir;
    QProcess sim, tool;
    QMap<QString, QString> out;

    ~Run()
    {
        sim.terminate();
        if (!sim.waitForFinished(10000))
            sim.kill();
    }
    // The module's lines for the frames it took: "time request -> answer" or "time request -- why not".
    QStringList frames()
    {
        QFile log(dir.filePath(u"sim.log"_s));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(log.readAll()).split(u'\n').filter(QRegularExpression(u" (->|--) "_s));
    }
    int count(const QString &part) { return frames().filter(part).size(); }
    // A module held up on a loaded machine may take two requests for one frame: count them by bytes.
    int requests()
    {
        const QStringList f = frames();
        return std::accumulate(f.begin(), f.end(), 0, [](int n, const QString &line) { return n + requestsIn(line); });
    }
    QString operator[](const char *key) const { return out.value(QLatin1String(key)); }
};

// The module logs the local time HH:MM:SS.mmm at which an answer's last byte went out.
int loggedAt(const QString &line) { return QTime::fromString(line.left(12), u"HH:mm:ss.zzz"_s).msecsSinceStartOfDay(); }

} // namespace

class tst_E2e : public QObject
{
    Q_OBJECT

    void start(Run &r, const QString &scenario, QStringList simArgs, int baud = 19200)
    {
        QVERIFY(r.dir.isValid());
        const QString tool = r.dir.filePath(u"kv4820-tool"_s);
        QVERIFY(QFile::copy(QStringLiteral(KV_TOOL), tool));
        QFile set(r.dir.filePath(u"comm.set"_s));
        QVERIFY(set.open(QIODevice::WriteOnly) && set.write("1," + QByteArray::number(baud) + "\r\n") > 0);
        set.close();

        r.sim.setStandardErrorFile(r.dir.filePath(u"sim.log"_s));
        r.sim.start(QStringLiteral(KV_SIM), simArgs << u"--link"_s << r.dir.filePath(u"COM1"_s) << u"--baud"_s
                                                    << QString::number(baud));
        QVERIFY(r.sim.waitForReadyRead(10000)); // it prints its line's path once the link is in place

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"LD_PRELOAD"_s, QStringLiteral(KV_DRIVER));
        env.insert(u"KV_E2E_SCENARIO"_s, scenario);
        r.tool.setProcessEnvironment(env);
        r.tool.start(tool, {});
        if (!r.tool.waitForFinished(90000)) {
            r.tool.kill();
            r.tool.waitForFinished(10000);
        }
        for (const QByteArray &line : r.tool.readAllStandardOutput().split('\n'))
            if (const int eq = line.indexOf('='); eq > 0)
                r.out.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        const QString why = r["failed"] + r["messageBox"] + QString::fromLocal8Bit(r.tool.readAllStandardError());
        QVERIFY2(r.tool.exitStatus() == QProcess::NormalExit && r.tool.exitCode() == 0, qPrintable(why));
    }

private slots:
    void startUpOpensStoredPort_data()
    {
        QTest::addColumn<int>("baud");
        for (int baud : {9600, 19200, 38400})
            QTest::addRow("comm.set 1,%d", baud) << baud;
    }
    // The port and rate of comm.set reach the line: every click's frame is answered (the module
    // ignores frames sent at another rate).
    void startUpOpensStoredPort()
    {
        QFETCH(int, baud);
        Run r;
        start(r, u"read:5"_s, {u"--values"_s, u"100,200,300,400,500,600,700,800,900,1000"_s}, baud);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(r["port"], u"COM1"_s);
        QTRY_COMPARE_WITH_TIMEOUT(r.count(u" -> "_s), 5, 10000);
        const QString last = r["command"].trimmed() + " -> "_L1 + r["state"].trimmed();
        QVERIFY2(r.frames().last().endsWith(last), qPrintable(r.frames().last() + " / "_L1 + last));
        QCOMPARE(r.frames().size(), 5);
        QCOMPARE(r["received"], u"5"_s);
        QCOMPARE(r["counter"], u"0"_s); // single reads are not polling requests
        qInfo("%d baud: click to values %s ms; 33 bytes on the wire + 2 ms turnaround = %.1f ms", baud,
              qPrintable(r["ms"]), 33 * 11 * 1000.0 / baud + 2);
    }

    void polling_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("drops");
        QTest::newRow("50 ms for 3 s, every answer counted") << QStringList() << 50 << 60 << false;
        QTest::newRow("every answer dropped") << QStringList{"--drop", "1"} << 100 << 10 << true;
        QTest::newRow("30% dropped, seed 7") << QStringList{"--drop", "0.3", "--seed", "7"} << 100 << 20 << true;
    }
    // Every request counted reaches the module, and the receive counter falls behind by the dropped
    // answers only (and the last one, if still on the line when polling stopped).
    void polling()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, interval);
        QFETCH(int, requests);
        QFETCH(bool, drops);
        Run r;
        start(r, u"poll:%1:%2"_s.arg(interval).arg(requests), simArgs);
        if (QTest::currentTestFailed())
            return;
        const int sent = r["counter"].toInt() - 1, got = r["received"].toInt() - 1;
        QCOMPARE(sent, requests); // the driver stops once the counter passes requests: nothing after the stop
        QTRY_COMPARE_WITH_TIMEOUT(r.requests(), sent, 10000);
        const int answered = r.count(u" -> "_s);
        QCOMPARE(r.count(u" -- dropped"_s) > 0, drops);
        // An answer that ended after the tool last handled an event before its next tick (the module or
        // the tool held up) met that tick's buffer flush unread: superseded by design, it may go uncounted.
        const QStringList idle = r["idle"].split(u',');
        QCOMPARE(idle.size(), sent);
        int k = 0, late = 0;
        for (const QString &f : r.frames()) {
            k += requestsIn(f);
            late += f.contains(" -> "_L1) && k < sent && loggedAt(f) >= idle[k].toInt() - 2;
        }
        QVERIFY2(got <= answered && got >= answered - late - 1,
                 qPrintable(u"received %1 of %2 answers, %3 late"_s.arg(got).arg(answered).arg(late)));
    }

    // The module's address is read back and changed, and then it answers at the new one.
    void address()
    {
        Run r;
        start(r, u"address"_s, {u"--address"_s, u"7"_s});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(r["readStation"], u"7"_s);
        QCOMPARE(r["readSetID"], u"7"_s);
        QCOMPARE(r["changedStation"], u"9"_s);
        QVERIFY2(r["colours"] == QStringList(10, black).join(u'|'), qPrintable(r["state"]));
        QTRY_COMPARE_WITH_TIMEOUT(r.frames().size(), 3, 10000);
        const QStringList f = r.frames();
        QVERIFY2(f[0].contains("FA 25 02 00 00 01 99 FE -> 07 25 02 07 "_L1), qPrintable(f[0]));
        QVERIFY2(f[1].contains("07 06 0B 00 00 09 "_L1) && f[1].contains("-> 07 06 0B 00 00 09 "_L1), qPrintable(f[1]));
        QVERIFY2(f[2].contains(" -> 09 03 14 "_L1), qPrintable(f[2]));
    }

    // Ten seconds of polling at 50 ms with a recording on and the trend open: a row per answer
    // decoded, the last row as the boxes show, channel 5's fault value left empty.
    void recordingWhilePolling()
    {
        Run r;
        start(r, u"record:50:10000"_s, {u"--fault"_s, u"5"_s});
        if (QTest::currentTestFailed())
            return;
        QFile file(r["recording"]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
        const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s, Qt::SkipEmptyParts);
        // Most requests are answered and decoded, however few ticks a busy machine lets through.
        const int decoded = r["decoded"].toInt(), sent = r["counter"].toInt() - 1;
        QVERIFY2(decoded > 0 && 2 * decoded >= sent, qPrintable(u"%1 of %2"_s.arg(decoded).arg(sent)));
        QCOMPARE(lines.size() - 1, decoded);
        QStringList last = lines.last().split(u',');
        QVERIFY(QDateTime::fromString(last.takeFirst(), u"yyyy-MM-dd HH:mm:ss.zzz"_s).isValid());
        QStringList boxes = r["values"].split(u'|');
        QCOMPARE(boxes.mid(8), QStringList({u"0"_s, u"0"_s})); // the fault value's text in the box
        boxes[8].clear();
        boxes[9].clear();
        QCOMPARE(last, boxes);
        // The trend draws the lowest and highest value of each 2 s: a few points a line, none for channel 5.
        const QStringList points = r["trendPoints"].split(u',');
        QCOMPARE(points.size(), 10);
        for (int i = 0; i < 8; ++i)
            QVERIFY2(points[i].toInt() >= 5 && points[i].toInt() <= 14, qPrintable(r["trendPoints"]));
        QCOMPARE(points.mid(8), QStringList({u"0"_s, u"0"_s}));
    }

    // 30 s of polling at 50 ms with the traffic log open, against a module that drops and corrupts
    // answers: the saved log has a row per request, and each row's verdict is what the module's own log
    // says it did. An answer still on the line when the next request went out belongs, rightly, to the
    // next exchange: those two rows are not compared.
    void trafficLogNamesEachFault()
    {
        Run r;
        start(r, u"traffic:50:30000"_s, {u"--drop"_s, u"0.05"_s, u"--corrupt"_s, u"0.05"_s});
        if (QTest::currentTestFailed())
            return;
        QFile file(r["traffic"]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" "时间,请求,应答,首字节(ms),末字节(ms),结论\r\n"));
        QStringList rows = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s, Qt::SkipEmptyParts);
        rows.removeFirst();
        const int sent = r["counter"].toInt() - 1;
        QVERIFY2(rows.size() == sent || rows.size() == sent - 1, qPrintable(u"%1 rows, %2 sent"_s.arg(rows.size()).arg(sent)));
        QTRY_COMPARE_WITH_TIMEOUT(r.requests(), sent, 10000);

        const QStringList frames = r.frames();
        QMap<QString, int> compared;
        int k = 0, skipped = 0;
        bool spilled = false; // the previous answer came into this row
        for (const QString &f : frames) {
            const int n = requestsIn(f); // more than one: the module, held up, took two requests as one frame
            if (k + n > rows.size())
                break;
            // The answer ended after the next request's write (the tool's clock, in the row's time).
            const bool late = f.contains(" -> "_L1) && k + n < rows.size()
                           && loggedAt(f) >= QTime::fromString(rows[k + n].mid(11, 12), u"HH:mm:ss.zzz"_s).msecsSinceStartOfDay() - 2;
            if (n != 1 || late || spilled) {
                skipped += n;
            } else {
                const QString expected = f.contains(" -- "_L1) ? u"无应答"_s
                                       : f.contains("(corrupted"_L1)  ? u"CRC错误"_s : u"正常"_s;
                const QStringList fields = rows[k].split(u',');
                QCOMPARE(fields.size(), 6);
                QVERIFY2(f.contains(fields[1]) && fields[5] == expected, qPrintable(f + " / "_L1 + rows[k]));
                ++compared[expected];
            }
            spilled = late;
            k += n;
        }
        qInfo("%d rows: %d 正常, %d 无应答, %d CRC错误 compared; %d not (late or held up)", int(rows.size()),
              compared[u"正常"_s], compared[u"无应答"_s], compared[u"CRC错误"_s], skipped);
        QVERIFY(compared[u"无应答"_s] > 0 && compared[u"CRC错误"_s] > 0);
        QVERIFY2(skipped * 10 < rows.size(), "too many answers late to compare");
    }
};

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
