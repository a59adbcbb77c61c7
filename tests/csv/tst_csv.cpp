// The recording's text: the header's bytes and the rows.
#include "record/csv.h"

#include <QTest>

namespace {

const QStringList kColumns = {QStringLiteral("1#温度值(℃)"), QStringLiteral("1#湿度值(%RH)")};

QDateTime at(const char *text) { return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }

} // namespace

class TestCsv : public QObject
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
};

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
