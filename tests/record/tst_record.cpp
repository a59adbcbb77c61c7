// The recording's file: rows written as they come, and a write that fails.
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
