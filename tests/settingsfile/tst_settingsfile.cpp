// The one line of comm.set: its bytes, how it is read back, and storing it safely.
#include "serial/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void line()
    {
        QCOMPARE(settingsLine(3, 19200), QByteArray::fromHex("332C31393230300D0A"));
        QCOMPARE(settingsLine(1, 9600), QByteArray::fromHex("312C393630300D0A"));
        QCOMPARE(settingsLine(-2, -9600), QByteArray("-2,-9600\r\n"));
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("complete");
        QTest::newRow("5,38400") << QByteArray("5,38400\r\n") << 5 << 38400 << true;
        QTest::newRow("spaces before both numbers") << QByteArray("  5,  38400\r\n") << 5 << 38400 << true;
        QTest::newRow("blank before the comma") << QByteArray("5 , 38400\r\n") << 5 << 38400 << true;
        QTest::newRow("4,0") << QByteArray("4,0\r\n") << 4 << 0 << true;
        QTest::newRow("more lines after") << QByteArray("3,19200\r\nrest") << 3 << 19200 << true;
        QTest::newRow("no CR LF") << QByteArray("3,19200") << 3 << 19200 << true;
        QTest::newRow("empty") << QByteArray() << 0 << 0 << false;
        QTest::newRow("one number") << QByteArray("3\r\n") << 3 << 0 << false;
        QTest::newRow("port not a number") << QByteArray("x,9600\r\n") << 0 << 9600 << false;
        QTest::newRow("rate not a number") << QByteArray("3,abc\r\n") << 3 << 0 << false;
        QTest::newRow("port too large for 16 bits") << QByteArray("70000,9600\r\n") << 0 << 9600 << false;
        QTest::newRow("rate too large for 32 bits") << QByteArray("3,99999999999\r\n") << 3 << 0 << false;
        QTest::newRow("NUL bytes") << QByteArray("\0\0\0\0", 4) << 0 << 0 << false;
        QTest::newRow("NUL inside the port") << QByteArray("3\0,9600\r\n", 9) << 0 << 9600 << false;
    }
    void parse()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, port);
        QFETCH(int, rate);
        QFETCH(bool, complete);
        const StoredSettings settings = parseSettings(contents);
        QCOMPARE(settings.complete, complete);
        QCOMPARE(int(settings.port), port);
        QCOMPARE(int(settings.rate), rate);
    }

    void missingFile()
    {
        QTemporaryDir dir;
        StoredSettings settings{7, 7, true};
        QCOMPARE(loadSettingsFile(dir.path(), settings), LoadResult::Missing);
        QCOMPARE(int(settings.port) + settings.rate, 0);
    }

    void storeReplacesLongerFileAndLoadsBack()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("comm.set"), "16,115200\r\nan older and much longer line\r\n"));
        QVERIFY(storeSettingsFile(dir.path(), 1, 9600));
        QCOMPARE(fileBytes(dir.filePath("comm.set")), QByteArray::fromHex("312C393630300D0A"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"comm.set"});
        StoredSettings settings;
        QCOMPARE(loadSettingsFile(dir.path(), settings), LoadResult::Loaded);
        QCOMPARE(int(settings.port), 1);
        QCOMPARE(settings.rate, 9600);
    }

    void directoryNamedCommSet()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("comm.set/inner"));
        StoredSettings settings;
        QCOMPARE(loadSettingsFile(dir.path(), settings), LoadResult::Unusable);
        QVERIFY(!storeSettingsFile(dir.path(), 3, 19200));
        QVERIFY(QFileInfo(dir.filePath("comm.set/inner")).isDir());
    }

    void storeUnderRegularFileFails()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("plain"), "3,19200\r\n"));
        QVERIFY(!storeSettingsFile(dir.filePath("plain"), 1, 9600));
        QCOMPARE(fileBytes(dir.filePath("plain")), QByteArray("3,19200\r\n"));
    }

    void storeInReadOnlyDirKeepsOldFile()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("comm.set"), "3,19200\r\n"));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool enforced = !writeBytes(dir.filePath("probe"), "x");
        const bool stored = storeSettingsFile(dir.path(), 1, 9600);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!enforced)
            QSKIP("permissions are not enforced for this user (root)");
        QVERIFY(!stored);
        QCOMPARE(fileBytes(dir.filePath("comm.set")), QByteArray("3,19200\r\n"));
    }

    void hugeGarbageIsUnusable_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QByteArray random(10 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(4820);
        for (char &c : random)
            c = char(generator.bounded(256));
        QTest::newRow("10 MB of random bytes") << random;
        QTest::newRow("10 MB of digits") << QByteArray(10 * 1024 * 1024, '9');
        QTest::newRow("10 MB of blanks") << QByteArray(10 * 1024 * 1024, ' ');
    }
    void hugeGarbageIsUnusable()
    {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("comm.set"), contents));
        StoredSettings settings;
        QCOMPARE(loadSettingsFile(dir.path(), settings), LoadResult::Unusable);
    }
};

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
