// The receiver: answers shown as hex, decoded into the value boxes by slot, and what it refuses.
#include "common/pty.h"
#include "common/window.h"
#include "modbus/codec.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

QString answerText(const QByteArray &bytes) { return QLatin1Char(' ') + QString::fromLatin1(bytes.toHex(' ').toUpper()); }

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    qint32 before = 0; // receiveCount before the answer
    bool open()
    {
        w = pty.linkAs(h.dir.path(), 3) ? &h.open("3,19200\r\n") : nullptr;
        if (w)
            for (QLineEdit *box : w->txtValue)
                box->setText(QStringLiteral("old"));
        return w && w->MSComm1->PortOpen();
    }
    bool request(int count, const QString &start = QStringLiteral("0")) // and take it off the line
    {
        w->txtStartID->setText(start);
        w->txtDataLength->setText(QString::number(count));
        w->comDoOnce_Click();
        return pty.read(8).size() == 8;
    }
    bool answer(const QByteArray &bytes)
    {
        before = w->receiveCount;
        return pty.write(bytes) && waitFor([&] { return w->receiveCount != before; });
    }
    bool boxesUntouched() const
    {
        return std::all_of(std::begin(w->txtValue), std::end(w->txtValue), [](QLineEdit *b) { return b->text() == "old"; });
    }
};

} // namespace

class ReceiverTest : public QObject
{
    Q_OBJECT
private slots:
    void placesRegistersBySlot_data()
    {
        QTest::addColumn<QString>("sentStart");
        QTest::addColumn<QString>("answerStart"); // txtStartID when the answer arrives
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("boxes"); // "-": untouched
        QTest::newRow("start 0") << "0" << "0" << 2 << "1.00 2.00 - - - - - - - -";
        QTest::newRow("start 1 as 0") << "1" << "1" << 2 << "1.00 2.00 - - - - - - - -";
        QTest::newRow("start 2 boxes 2 3") << "2" << "2" << 2 << "- - 1.00 2.00 - - - - - -";
        QTest::newRow("start 5 from box 8") << "5" << "5" << 4 << "- - - - - - - - 1.00 2.00";
        QTest::newRow("start 12 nothing shown") << "12" << "12" << 2 << "- - - - - - - - - -";
        QTest::newRow("start 13 back to box 0") << "13" << "13" << 2 << "1.00 2.00 - - - - - - - -";
        QTest::newRow("start 2.9 as 2") << "2.9" << "2.9" << 2 << "- - 1.00 2.00 - - - - - -";
        QTest::newRow("start -0.5 as -1") << "0" << "-0.5" << 6 << "5.00 6.00 - - - - - - - -";
        QTest::newRow("start changed to 2 after request") << "0" << "2" << 2 << "- - 1.00 2.00 - - - - - -";
        QTest::newRow("start changed to abc") << "2" << "abc" << 2 << "1.00 2.00 - - - - - - - -";
        QTest::newRow("24 registers") << "0" << "0" << 24 << "1.00 2.00 3.00 4.00 5.00 6.00 7.00 8.00 9.00 10.00";
    }
    void placesRegistersBySlot()
    {
        QFETCH(QString, sentStart);
        QFETCH(QString, answerStart);
        QFETCH(int, count);
        QFETCH(QString, boxes);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.request(count, sentStart));
        line.w->txtStartID->setText(answerStart);
        QList<quint16> raws;
        for (int j = 1; j <= count; ++j)
            raws << quint16(100 * j);
        QVERIFY(line.answer(registerAnswer(raws)));
        const QStringList expected = boxes.split(QLatin1Char(' '));
        for (int i = 0; i < 10; ++i) {
            const bool written = expected[i] != QLatin1String("-");
            QCOMPARE(line.w->txtValue[i]->text(), written ? expected[i] : QStringLiteral("old"));
            QCOMPARE(textColor(line.w->txtValue[i]), written ? QColor(0, 0, 0) : QColor(255, 0, 0));
        }
        QCOMPARE(line.w->FrontLamp(), line.w->imgConnected);
    }

    void showsValues_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("counterRise");
        QTest::newRow("0000") << 0x0000 << "0.00" << 1;
        QTest::newRow("0005") << 0x0005 << "0.05" << 1;
        QTest::newRow("09C4") << 0x09C4 << "25.00" << 1;
        QTest::newRow("4E20 20000") << 20000 << "200.00" << 1;
        QTest::newRow("4E21 20001") << 20001 << "-455.35" << 1;
        QTest::newRow("FE0C 65036") << 65036 << "-5.00" << 1;
        QTest::newRow("FFFE") << 0xFFFE << "-0.02" << 1;
        QTest::newRow("FFFF fault value") << 0xFFFF << "0" << 2;
    }
    void showsValues()
    {
        QFETCH(int, raw);
        QFETCH(QString, text);
        QFETCH(int, counterRise);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.request(2));
        QVERIFY(line.answer(registerAnswer({quint16(raw), 0x0102})));
        QCOMPARE(line.w->txtValue[0]->text(), text);
        QCOMPARE(textColor(line.w->txtValue[0]), QColor(0, 0, 0));
        QCOMPARE(line.w->txtValue[1]->text(), QStringLiteral("2.58"));
        QCOMPARE(line.w->receiveCount, line.before + counterRise);
        QCOMPARE(line.w->lblErrCounter->text(), QString::number(line.before + counterRise));
    }

    // The receive counter runs on past the largest 32-bit count into the negative, as the counter it
    // stands for did, rather than overflowing.
    void counterWrapsPastLargest_data()
    {
        QTest::addColumn<qint32>("count"); // before the answer
        QTest::addColumn<int>("raw");
        QTest::addColumn<qint32>("after");
        QTest::newRow("answer at 2147483647") << qint32(2147483647) << 0x0102 << qint32(-2147483647 - 1);
        QTest::newRow("fault value at 2147483646") << qint32(2147483646) << 0xFFFF << qint32(-2147483647 - 1);
        QTest::newRow("fault value at 2147483647") << qint32(2147483647) << 0xFFFF << qint32(-2147483647);
    }
    void counterWrapsPastLargest()
    {
        QFETCH(qint32, count);
        QFETCH(int, raw);
        QFETCH(qint32, after);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.request(1));
        line.w->receiveCount = count;
        QVERIFY(line.answer(registerAnswer({quint16(raw)})));
        QCOMPARE(line.w->receiveCount, after);
        QCOMPARE(line.w->lblErrCounter->text(), QString::number(after));
    }

    void refusesCorruptedAnswer_data() // answers to a read of 10 registers, all 25 bytes long
    {
        const QByteArray good = registerAnswer(QList<quint16>(10, 0x0102));
        QByteArray flipped = good, swapped = good, corrupted = good;
        flipped[24] = char(good[24] ^ 0x01);
        std::swap(swapped[23], swapped[24]);
        corrupted[5] = char(0x7F);
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("bad CRC") << flipped;
        QTest::newRow("CRC high byte first") << swapped;
        QTest::newRow("data byte corrupted") << corrupted;
        QTest::newRow("exception answer plus noise") << withCrc(QByteArray::fromHex("028302")) + QByteArray(20, '\x55');
        QTest::newRow("two registers answered plus noise") << registerAnswer({0x0102, 0x0304}) + QByteArray(16, '\x55');
    }
    void refusesCorruptedAnswer()
    {
        QFETCH(QByteArray, answer);
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.request(10));
        QVERIFY(line.answer(answer));
        QCOMPARE(line.w->receiveCount, line.before + 1);
        QCOMPARE(line.w->txtState->text(), answerText(answer));
        QVERIFY(line.boxesUntouched());
        for (const QLineEdit *box : line.w->txtValue)
            QCOMPARE(textColor(box), QColor(255, 0, 0));
        QVERIFY(line.w->FrontLamp() != line.w->imgConnected);
    }

    void otherNotificationOnlyCounts()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.request(2));
        line.w->txtState->setText(QStringLiteral("earlier"));
        const qint32 before = line.w->receiveCount;
        line.pty.closeMaster(); // the port is lost
        QVERIFY(waitFor([&] { return line.w->receiveCount != before; }));
        QCOMPARE(line.w->lblErrCounter->text(), QString::number(before + 1));
        QCOMPARE(line.w->txtState->text(), QStringLiteral("earlier"));
        QCOMPARE(line.w->FrontLamp(), line.w->ImgYellow);
        QVERIFY(line.boxesUntouched());
    }

    void answerWithoutRequestShownAsHex()
    {
        Line line;
        QVERIFY(line.open());
        QCOMPARE(int(line.w->requestKind), 0);
        line.w->MSComm1->setRThreshold(2);
        const QString station = line.w->txtStationID->text(), setId = line.w->txtSetID[0]->text();
        QVERIFY(line.answer(QByteArray::fromHex("0A0B")));
        QCOMPARE(line.w->txtState->text(), QStringLiteral(" 0A 0B"));
        QCOMPARE(line.w->FrontLamp(), line.w->imgConnected);
        QCOMPARE(line.w->receiveCount, line.before + 1);
        QCOMPARE(line.w->txtStationID->text(), station);
        QCOMPARE(line.w->txtSetID[0]->text(), setId);
        QVERIFY(line.boxesUntouched());
    }
};

QTEST_MAIN(ReceiverTest)
#include "tst_receiver.moc"
