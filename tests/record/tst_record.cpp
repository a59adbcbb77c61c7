// The recording's file: its bytes, rows written as they come, and a write that fails.
#include "common/filesizelimit.h"
#include "record/csv.h"
#include "record/recorder.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kColumns = {QStringLiteral("1#温度值(℃)"), QStringLiteral("1#湿度值(%RH)")};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QDateTime at(const char *text) { return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT
private slots:
    // Byte-order mark, "时间", the titles, CRLF: all in UTF-8.
    void header()
    {
        QCOMPARE(csvHeader(kColumns), QByteArray::fromHex("EFBBBF" "E697B6E997B4" "2C" "3123E6B8A9E5BAA6E580BC28E2848329"
                                                          "2C" "3123E6B9BFE5BAA6E580BC2825524829" "0D0A"));
    }

    void row_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QByteArray>("row");
        const QStringList ten = {"23.45", "45.67", "-5.12", "50.00", "0.00", "1.00", "20.00", "99.99", "12.34", "43.21"};
        QTest::newRow("ten values") << at("2026-12-08 14:03:05.125") << ten
                                    << QByteArray("2026-12-08 14:03:05.125,23.45,45.67,-5.12,50.00,0.00,1.00,20.00,99.99,12.34,43.21\r\n");
        QTest::newRow("time padded") << at("2026-01-02 03:04:05.006") << QStringList{"1.00"}
                                     << QByteArray("2026-01-02 03:04:05.006,1.00\r\n");
        QTest::newRow("fault value of channel 5 empty")
            << at("2026-12-08 14:03:05.000") << (ten.mid(0, 8) << QString() << QString())
            << QByteArray("2026-12-08 14:03:05.000,23.45,45.67,-5.12,50.00,0.00,1.00,20.00,99.99,,\r\n");
        QTest::newRow("partial answer: boxes 2 and 3 only")
            << at("2026-12-08 23:59:59.999") << QStringList{"", "", "25.00", "-5.00", "", "", "", "", "", ""}
            << QByteArray("2026-12-08 23:59:59.999,,,25.00,-5.00,,,,,,\r\n");
        QTest::newRow("comma and quote quoted") << at("2026-12-08 14:03:05.125") << QStringList{"a,b", "say \"x\""}
                                                << QByteArray("2026-12-08 14:03:05.125,\"a,b\",\"say \"\"x\"\"\"\r\n");
    }
    void row()
    {
        QFETCH(QDateTime, time);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, row);
        QCOMPARE(csvRow(time, values), row);
    }

    // Each row is in the file as soon as it is recorded, not at the end; nothing while stopped.
    void rowsReachTheFileAsRecorded()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.csv"));
        Recorder recorder(kColumns);
        QSignalSpy changed(&recorder, &Recorder::recordingChanged);
        recorder.record(at("2026-12-08 14:03:04.000"), {"9.99", "9.99"});
        QVERIFY(recorder.start(path));
        QByteArray expected = csvHeader(kColumns);
        QCOMPARE(fileBytes(path), expected);
        recorder.record(at("2026-12-08 14:03:05.125"), {"23.45", ""});
        expected += "2026-12-08 14:03:05.125,23.45,\r\n";
        QCOMPARE(fileBytes(path), expected);
        recorder.record(at("2026-12-08 14:03:05.175"), {"23.46", "45.00"});
        expected += "2026-12-08 14:03:05.175,23.46,45.00\r\n";
        QCOMPARE(fileBytes(path), expected);
        recorder.stop();
        recorder.record(at("2026-12-08 14:03:06.000"), {"1.00", "2.00"});
        QCOMPARE(fileBytes(path), expected);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed[0][0].toBool(), true);
        QCOMPARE(changed[1][0].toBool(), false);
    }

    // The disk fills in the middle of the third row, or the file is removed or renamed away: the
    // recording stops, says why once, and the file keeps the header and the whole rows.
    void failureStopsAndKeepsRows_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("moreRows"); // rows come after the fault; else only the clock notices
        QTest::newRow("file-size limit") << "limit" << true;
        QTest::newRow("removed, next row") << "remove" << true;
        QTest::newRow("removed, no rows") << "remove" << false;
        QTest::newRow("renamed away, no rows") << "rename" << false;
    }
    void failureStopsAndKeepsRows()
    {
        QFETCH(QString, fault);
        QFETCH(bool, moreRows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.csv")), moved = dir.filePath(QStringLiteral("moved.csv"));
        const QByteArray row = csvRow(at("2026-12-08 14:03:05.125"), {"23.45", "45.67"});
        const QByteArray kept = csvHeader(kColumns) + row + row;
        Recorder recorder(kColumns);
        QSignalSpy failed(&recorder, &Recorder::failed);
        QVERIFY(recorder.start(path));
        const auto record = [&](int rows) {
            for (int i = 0; i < rows; ++i)
                recorder.record(at("2026-12-08 14:03:05.125"), {"23.45", "45.67"});
        };
        if (fault == QLatin1String("limit")) {
            // Not ignoring SIGXFSZ, the recorder would end this process here.
            FileSizeLimit limit(kept.size() + row.size() / 2);
            QVERIFY(limit.isSet());
            record(4);
        } else {
            record(2);
            QVERIFY(fault == QLatin1String("remove") ? QFile::remove(path) : QFile::rename(path, moved));
            if (moreRows)
                record(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 5000);
        QVERIFY(!failed[0][0].toString().isEmpty());
        QVERIFY(!recorder.isRecording());
        if (fault != QLatin1String("remove"))
            QCOMPARE(fileBytes(fault == QLatin1String("rename") ? moved : path), kept);
        QTest::qWait(50);
        QCOMPARE(failed.size(), 1);
    }

    // A file that cannot take even the header: no recording starts, and the reason is kept.
    void fullDiskAtStart()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full on this system");
        Recorder recorder(kColumns);
        QSignalSpy changed(&recorder, &Recorder::recordingChanged);
        QVERIFY(!recorder.start(QStringLiteral("/dev/full")));
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.errorString().isEmpty());
        QCOMPARE(changed.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"
