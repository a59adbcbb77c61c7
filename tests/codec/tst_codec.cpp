// CRC-16 of Modbus RTU and the hex text of frames.
#include "common/crc.h"
#include "modbus/codec.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void crcAgreesWithReferenceOnRandomFrames()
    {
        QRandomGenerator random(20240613);
        for (int n = 0; n < 4000; ++n) {
            QByteArray frame(random.bounded(1, 300), Qt::Uninitialized);
            for (char &c : frame)
                c = char(random.bounded(256));
            QCOMPARE(crc16(frame, int(frame.size()) - 1), referenceCrc(frame));
            // A request covers bytes 0..5 and carries their CRC after them, low byte first.
            const QByteArray six = frame.left(6).leftJustified(6, char(random.bounded(256)));
            QCOMPARE(requestFrame(quint8(six[0]), quint8(six[1]), quint8(six[2]), quint8(six[3]), quint8(six[4]),
                                  quint8(six[5])),
                     withCrc(six));
        }
    }

    void crcExamples_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("last");
        QTest::addColumn<QByteArray>("wire"); // the two check bytes as they go on the line
        QTest::newRow("01 03 00 00 00 02") << hex("010300000002") << 5 << hex("C40B");
        QTest::newRow("02 03 00 00 00 0A") << hex("02030000000A") << 5 << hex("C5FE");
        QTest::newRow("11 03 00 6B 00 03") << hex("1103006B0003") << 5 << hex("7687");
        QTest::newRow("FA 25 02 00 00 01") << hex("FA2502000001") << 5 << hex("99FE");
        QTest::newRow("00 00 00 00 00 00") << hex("000000000000") << 5 << hex("001B");
        QTest::newRow("02 03 00 00 00 0A 12 34, j=5") << hex("02030000000A1234") << 5 << hex("C5FE");
        QTest::newRow("01 03 00 00 00 02, j=-1") << hex("010300000002") << -1 << hex("FFFF");
        QTest::newRow("ASCII 123456789") << QByteArray("123456789") << 8 << hex("374B");
    }
    void crcExamples()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, last);
        QFETCH(QByteArray, wire);
        const quint16 crc = crc16(frame, last);
        QCOMPARE(QByteArray(1, char(crc & 0xFF)) + char(crc >> 8), wire);
    }

    void hexOfEveryByte()
    {
        for (int value = 0; value < 256; ++value)
            QCOMPARE(hexByte(quint8(value)), QString::asprintf("%02X", value));
    }

    void frameTexts()
    {
        const QByteArray frame = hex("02030000000AC5FE");
        QCOMPARE(requestHexText(frame), QStringLiteral("02 03 00 00 00 0A C5 FE "));
        QCOMPARE(answerHexText(frame), QStringLiteral(" 02 03 00 00 00 0A C5 FE"));
        QCOMPARE(requestHexText({}), QString());
        QCOMPARE(answerHexText({}), QString());
    }

    void answerCrc_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("matches");
        const QByteArray good = withCrc(hex("01030409C4FE0C"));
        QByteArray badCrc = good, badData = good;
        badCrc[7] = char(badCrc[7] ^ 0x01);
        badData[3] = char(badData[3] ^ 0x80);
        QTest::newRow("01 03 04 09 C4 FE 0C + CRC") << good << 9 << true;
        QTest::newRow("CRC low byte flipped") << badCrc << 9 << false;
        QTest::newRow("data byte flipped") << badData << 9 << false;
        QTest::newRow("one byte short") << good.left(8) << 9 << false;
        QTest::newRow("empty") << QByteArray() << 9 << false;
        QTest::newRow("two bytes after the CRC") << good + hex("AA55") << 9 << true;
    }
    void answerCrc()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, length);
        QFETCH(bool, matches);
        QCOMPARE(answerCrcMatches(answer, length), matches);
    }
};

QTEST_MAIN(TestCodec)
#include "tst_codec.moc"
