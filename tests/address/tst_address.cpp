// Reading and changing the module's bus address, and what the answers do to the address fields.
#include "common/pty.h"
#include "common/window.h"
#include "modbus/codec.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

const QString kWaiting = QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
QString shown(const QByteArray &frame) { return QString::fromLatin1(frame.toHex(' ').toUpper()) + QLatin1Char(' '); }

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    bool open()
    {
        if (!pty.linkAs(h.dir.path(), 3))
            return false;
        w = &h.open("3,19200\r\n");
        return w->MSComm1->PortOpen();
    }
    // Read address when from is empty, otherwise change address from -> to.
    void command(const QString &from, const QString &to)
    {
        if (from.isEmpty())
            return w->cmdReadAdd_Click();
        w->txtSetID[0]->setText(from);
        w->txtSetID[1]->setText(to);
        w->cmdChangeID_Click();
    }
};

} // namespace

class AddressTest : public QObject
{
    Q_OBJECT
private slots:
    void sendsFrame_data()
    {
        QTest::addColumn<QString>("from"); // empty: read address
        QTest::addColumn<QString>("to");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("portOpen");
        QTest::newRow("FA 25 02 00 00 01 99 FE") << "" << "" << hex("FA250200000199FE") << 16 << true;
        QTest::newRow("01 06 0B 00 00 01 4A 2E") << "1" << "1" << hex("01060B0000014A2E") << 15 << true;
        QTest::newRow("02 06 0B 00 00 05 4B DE") << "2" << "5" << hex("02060B0000054BDE") << 15 << true;
        QTest::newRow("01 06 0B 00 00 02 0A 2F") << "1" << "2" << hex("01060B0000020A2F") << 15 << true;
        QTest::newRow("11 06 0B 00 00 01 48 BE from 17.9") << "17.9" << "1" << hex("11060B00000148BE") << 15 << true;
        QTest::newRow("FF 06 0B 00 00 00 9E 30 edges") << "255" << "0" << hex("FF060B0000009E30") << 15 << true;
        QTest::newRow("FA 25 02 00 00 01 99 FE port closed") << "" << "" << hex("FA250200000199FE") << 16 << false;
        QTest::newRow("02 06 0B 00 00 05 4B DE port closed") << "2" << "5" << hex("02060B0000054BDE") << 15 << false;
    }
    void sendsFrame()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QByteArray, frame);
        QFETCH(int, kind);
        QFETCH(bool, portOpen);
        Line line;
        QVERIFY(line.open());
        if (!portOpen)
            line.w->MSComm1->setPortOpen(false);
        line.w->txtState->setText(QStringLiteral("earlier"));
        line.command(from, to);
        QCOMPARE(line.pty.read(8, portOpen ? 2000 : 100).toHex(' '), portOpen ? frame.toHex(' ') : QByteArray());
        QVERIFY(line.pty.read(1, 100).isEmpty());
        QCOMPARE(line.w->txtCommand->text(), shown(frame));
        QCOMPARE(int(line.w->requestKind), kind);
        QCOMPARE(int(line.w->MSComm1->RThreshold()), 6);
        QCOMPARE(line.w->txtState->text(), portOpen ? kWaiting : QString());
        QCOMPARE(line.w->FrontLamp(), portOpen ? line.w->imgConnected : line.w->imgNotConnected);
        QCOMPARE(int(line.w->commReady), -1);
        QVERIFY(line.h.messages.isEmpty());
    }

    void refusesBadAddressText_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("current abc") << "abc" << "1";
        QTest::newRow("current 256") << "256" << "1";
        QTest::newRow("current -1") << "-1" << "1";
        QTest::newRow("new abc") << "1" << "abc";
        QTest::newRow("new 256") << "1" << "256";
        QTest::newRow("new -0.5") << "1" << "-0.5";
        QTest::newRow("new empty") << "1" << "";
    }
    void refusesBadAddressText()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        Line line;
        QVERIFY(line.open());
        line.w->txtState->setText(QStringLiteral("earlier"));
        line.w->txtCommand->setText(QStringLiteral("01 03 00 00 00 02 C4 0B "));
        const qint16 kind = line.w->requestKind, threshold = line.w->MSComm1->RThreshold();
        QLabel *lamp = line.w->FrontLamp();
        line.command(from, to);
        QCOMPARE(line.h.messageTexts(), QStringList{QStringLiteral("你输入的设备地址格式有误!")});
        QCOMPARE(line.w->requestKind, kind);
        QCOMPARE(line.w->MSComm1->RThreshold(), threshold);
        QCOMPARE(line.w->txtState->text(), QStringLiteral("earlier"));
        QCOMPARE(line.w->txtCommand->text(), QStringLiteral("01 03 00 00 00 02 C4 0B "));
        QCOMPARE(line.w->FrontLamp(), lamp);
        QVERIFY(line.pty.read(1, 100).isEmpty());
    }

    // An address is taken only from a whole frame with a good CRC and the function sent.
    void answerSetsAddressFields_data()
    {
        QTest::addColumn<QString>("from"); // empty: read address
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("split"); // bytes written before a pause; 0: all at once
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("setId");
        QTest::newRow("read 11 25 01 11 D5 4F: 17") << "" << hex("11250111D54F") << 0 << "17" << "17";
        QTest::newRow("read 01 25 02 09 D0 B3: bad CRC") << "" << hex("01250209D0B3") << 0 << "9" << "2";
        QTest::newRow("read 11 03 01 11 34 84: wrong function") << "" << hex("110301113484") << 0 << "9" << "2";
        QTest::newRow("change echo: 5") << "2" << hex("02060B0000054BDE") << 0 << "5" << "2";
        QTest::newRow("change echo in two parts: 5") << "2" << hex("02060B0000054BDE") << 6 << "5" << "2";
        QTest::newRow("change echo, bad CRC") << "2" << hex("02060B0000054BDF") << 6 << "9" << "2";
        QTest::newRow("change 02 06 0B 05 26 AE: 5") << "2" << hex("02060B0526AE") << 0 << "5" << "2";
        QTest::newRow("change 02 06 0B 05 26 AF: bad CRC") << "2" << hex("02060B0526AF") << 0 << "9" << "2";
        QTest::newRow("change 05 06 0C 00 00 05 4B 1D: no echo") << "2" << hex("05060C0000054B1D") << 0 << "9" << "2";
    }
    void answerSetsAddressFields()
    {
        QFETCH(QString, from);
        QFETCH(QByteArray, answer);
        QFETCH(int, split);
        QFETCH(QString, station);
        QFETCH(QString, setId);
        Line line;
        QVERIFY(line.open());
        line.w->txtStationID->setText(QStringLiteral("9"));
        line.w->txtSetID[0]->setText(QStringLiteral("2"));
        line.command(from, QStringLiteral("5"));
        QCOMPARE(line.pty.read(8).size(), 8);
        const qint32 before = line.w->receiveCount;
        if (split) {
            QVERIFY(line.pty.write(answer.left(split)));
            QTest::qWait(100);
            QCOMPARE(line.w->receiveCount, before); // the rest of the echo is awaited
            QCOMPARE(line.w->txtState->text(), kWaiting);
        }
        QVERIFY(line.pty.write(answer.mid(split)));
        QVERIFY(waitFor([&] { return line.w->receiveCount != before; }));
        QCOMPARE(line.w->txtState->text(), QLatin1Char(' ') + QString::fromLatin1(answer.toHex(' ').toUpper()));
        QCOMPARE(line.w->txtStationID->text(), station);
        QCOMPARE(line.w->txtSetID[0]->text(), setId);
        QCOMPARE(line.w->FrontLamp(), line.w->imgConnected);
        QCOMPARE(line.w->receiveCount, before + 1);
    }
};

QTEST_MAIN(AddressTest)
#include "tst_address.moc"
