// From register values to value box texts, and where an answer's first register lands.
#include "response/decode.h"

#include <QTest>

class TestDecode : public QObject
{
    Q_OBJECT
private slots:
    void registerText_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("0000") << 0 << "0.00";
        QTest::newRow("0001") << 1 << "0.01";
        QTest::newRow("0005") << 5 << "0.05";
        QTest::newRow("0063") << 99 << "0.99";
        QTest::newRow("0064") << 100 << "1.00";
        QTest::newRow("09C4") << 2500 << "25.00";
        QTest::newRow("3039") << 12345 << "123.45";
        QTest::newRow("4E20 highest positive") << 20000 << "200.00";
        QTest::newRow("4E21 lowest negative") << 20001 << "-455.35";
        QTest::newRow("7FFF") << 32767 << "-327.69";
        QTest::newRow("8000") << 32768 << "-327.68";
        QTest::newRow("FE0C") << 65036 << "-5.00";
        QTest::newRow("FFFE") << 65534 << "-0.02";
    }
    void registerText()
    {
        QFETCH(int, raw);
        QFETCH(QString, text);
        QCOMPARE(::registerText(quint16(raw)), text);
    }

    void firstSlot_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("slot");
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("1 same as 0") << "1" << 0;
        QTest::newRow("2") << "2" << 2;
        QTest::newRow("5") << "5" << 8;
        QTest::newRow("12, last slot in range") << "12" << 22;
        QTest::newRow("13, past 23 becomes 0") << "13" << 0;
        QTest::newRow("2.9 counts as 2") << "2.9" << 2;
        QTest::newRow("-0.5 counts as -1") << "-0.5" << -4;
        QTest::newRow("not a number") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("1e300") << "1e300" << 0;
    }
    void firstSlot()
    {
        QFETCH(QString, start);
        QFETCH(int, slot);
        QCOMPARE(::firstSlot(start), slot);
    }

    // A huge negative start puts every register of even a 24-register answer below slot 0.
    void hugeNegativeStartShowsNothing() { QVERIFY(::firstSlot(QStringLiteral("-1e300")) + kSlotCount - 1 < 0); }
};

QTEST_APPLESS_MAIN(TestDecode)
#include "tst_decode.moc"
