// Numbers typed by the user: what reads as a number, and the two ways to a whole number.
#include "app/numbers.h"

#include <QTest>

class TestNumbers : public QObject
{
    Q_OBJECT
private slots:
    void readNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        auto yes = [](const char *name, const QString &text, double v) { QTest::newRow(name) << text << true << v; };
        auto no = [](const char *name, const QString &text) { QTest::newRow(name) << text << false << 0.0; };
        yes("blanks around", " 12 ", 12);
        yes("plus sign, fraction", "+3.5", 3.5);
        yes("minus half", "-0.5", -0.5);
        yes("no digit before point", ".5", 0.5);
        yes("no digit after point", "5.", 5);
        yes("exponent", "1e3", 1000);
        yes("negative upper-case exponent", "2.5E-1", 0.25);
        yes("10 000 characters, leading zeros", QString(9999, QLatin1Char('0')) + "7", 7);
        no("10 000 digits, not finite", "1" + QString(9999, QLatin1Char('0')));
        no("empty", "");
        no("blank only", " ");
        no("letters", "abc");
        no("decimal comma", "1,5");
        no("hex prefix", "0x10");
        no("overflows to infinity", "1e400");
        no("nan", "nan");
        no("inf", "inf");
        no("fullwidth digits", QStringLiteral("１２"));
        no("Arabic-Indic digit", QStringLiteral("٣"));
        no("blank inside", "1 2");
        no("two signs", "--1");
        no("exponent without digits", "1e");
        no("exponent without mantissa", "e5");
        no("point only", ".");
    }
    void readNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const std::optional<double> number = ::readNumber(text);
        QCOMPARE(number.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*number, value);
    }

    void wholeNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("floor");
        QTest::addColumn<double>("rounded"); // half to even
        QTest::newRow("-0.5") << -0.5 << -1.0 << 0.0;
        QTest::newRow("0.5") << 0.5 << 0.0 << 0.0;
        QTest::newRow("1.5") << 1.5 << 1.0 << 2.0;
        QTest::newRow("2.5") << 2.5 << 2.0 << 2.0;
        QTest::newRow("2.9") << 2.9 << 2.0 << 3.0;
        QTest::newRow("3.5") << 3.5 << 3.0 << 4.0;
        QTest::newRow("-2.5") << -2.5 << -3.0 << -2.0;
        QTest::newRow("-1.5") << -1.5 << -2.0 << -2.0;
        QTest::newRow("50.9") << 50.9 << 50.0 << 51.0;
        QTest::newRow("60000.4") << 60000.4 << 60000.0 << 60000.0;
    }
    void wholeNumbers()
    {
        QFETCH(double, value);
        QFETCH(double, floor);
        QFETCH(double, rounded);
        QCOMPARE(integerPart(value), floor);
        QCOMPARE(roundHalfEven(value), rounded);
    }

    void asByteBounds()
    {
        QCOMPARE(asByte(-1), std::nullopt);
        QCOMPARE(asByte(0), std::optional<quint8>(0));
        QCOMPARE(asByte(255), std::optional<quint8>(255));
        QCOMPARE(asByte(256), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
