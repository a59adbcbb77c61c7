// The read request: field checks, the frame on the line, and what the window shows around it.
#include "common/pty.h"
#include "common/window.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
// A request as the window shows it: two digits and a blank per byte.
QString shown(const QByteArray &frame) { return QString::fromLatin1(frame.toHex(' ').toUpper()) + QLatin1Char(' '); }
bool allColored(const frmMain &w, const QColor &color)
{
    return std::all_of(std::begin(w.txtValue), std::end(w.txtValue), [&](QLineEdit *b) { return textColor(b) == color; });
}
void paintBlack(frmMain &w) { for (QLineEdit *box : w.txtValue) setTextColor(box, Qt::black); }

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    bool open()
    {
        w = pty.linkAs(h.dir.path(), 3) ? &h.open("3,19200\r\n") : nullptr;
        return w && w->MSComm1->PortOpen();
    }
    void click(const QStringList &fields) // address, function, start, count
    {
        w->txtStationID->setText(fields[0]);
        w->txtFunID->setText(fields[1]);
        w->txtStartID->setText(fields[2]);
        w->txtDataLength->setText(fields[3]);
        w->comDoOnce_Click();
    }
};

} // namespace

class RequestsTest : public QObject
{
    Q_OBJECT
private slots:
    void sendsFrame_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("02 03 00 00 00 0A C5 FE") << QStringList{"2", "3", "0", "10"} << hex("02030000000AC5FE");
        QTest::newRow("01 03 00 00 00 02 C4 0B") << QStringList{"1", "3", "0", "2"} << hex("010300000002C40B");
        QTest::newRow("02 03 00 00 00 18 45 F3 count 24.9") << QStringList{"2", "3", "0", "24.9"} << hex("02030000001845F3");
        QTest::newRow("02 03 00 00 00 01 84 39 count 1.5") << QStringList{"2", "3", "0", "1.5"} << hex("0203000000018439");
        QTest::newRow("02 04 00 00 00 0A 70 3E function 3.5") << QStringList{"2", "3.5", "0", "10"} << hex("02040000000A703E");
        QTest::newRow("02 02 00 00 00 0A F8 3E function 2.5") << QStringList{"2", "2.5", "0", "10"} << hex("02020000000AF83E");
        QTest::newRow("0F 03 00 00 00 0A C4 E3 address 15.7") << QStringList{"15.7", "3", "0", "10"} << hex("0F030000000AC4E3");
        QTest::newRow("02 03 00 0F 00 0A F5 FD blanks, exponent") << QStringList{"2", "3", " 15 ", "1e1"} << hex("0203000F000AF5FD");
        QTest::newRow("00 03 00 FF 00 0A F4 2C edges") << QStringList{"0", "3", "255.9", "10"} << hex("000300FF000AF42C");
        QTest::newRow("02 FF 00 00 00 0A 95 EA function 255.4") << QStringList{"2", "255.4", "0", "10"} << hex("02FF0000000A95EA");
    }
    void sendsFrame()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, frame);
        Line line;
        QVERIFY(line.open());
        frmMain &w = *line.w;
        w.txtState->setText(QStringLiteral("old answer"));
        line.click(fields);
        QCOMPARE(line.pty.read(8).toHex(' '), frame.toHex(' '));
        QCOMPARE(w.txtCommand->text(), shown(frame));
        QCOMPARE(int(w.expectedLength), 2 * quint8(frame[5]) + 5);
        QCOMPARE(int(w.MSComm1->RThreshold()), int(w.expectedLength));
        QCOMPARE(int(w.requestKind), 1);
        QCOMPARE(w.FrontLamp(), w.ImgYellow);
        QVERIFY(w.txtState->text().isEmpty());
        QVERIFY(allColored(w, QColor(255, 0, 0)));
        QVERIFY(line.h.messages.isEmpty());
    }

    void refusesBadFields_data()
    {
        const QString address = QStringLiteral("你输入的设备地址格式有误!"), function = QStringLiteral("你输入的功能码格式有误!"),
                      length = QStringLiteral("你输入的数据长度格式有误!"), start = QStringLiteral("你输入的起始地址格式有误!"),
                      range = QStringLiteral("你输入的数据长度格式有误,正确的值应该为1-24!");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::newRow("all bad: address first") << QStringList{"x", "", "a", "b"} << address;
        QTest::newRow("function before count") << QStringList{"2", "0x3", "a", "b"} << function;
        QTest::newRow("count as number before start") << QStringList{"2", "3", "a", "b"} << length;
        QTest::newRow("start before count range") << QStringList{"2", "3", "a", "25"} << start;
        QTest::newRow("count 25") << QStringList{"2", "3", "0", "25"} << range;
        QTest::newRow("count 0") << QStringList{"2", "3", "0", "0"} << range;
        QTest::newRow("count 0.9") << QStringList{"2", "3", "0", "0.9"} << range;
        QTest::newRow("count -3") << QStringList{"2", "3", "0", "-3"} << range;
        QTest::newRow("count range before address 256") << QStringList{"256", "300", "0", "25"} << range;
        QTest::newRow("address 256") << QStringList{"256", "300", "300", "10"} << address;
        QTest::newRow("address -1") << QStringList{"-1", "3", "0", "10"} << address;
        QTest::newRow("address -0.5") << QStringList{"-0.5", "3", "0", "10"} << address;
        QTest::newRow("function 300") << QStringList{"2", "300", "300", "10"} << function;
        QTest::newRow("function 255.5 rounds to 256") << QStringList{"2", "255.5", "0", "10"} << function;
        QTest::newRow("start 300") << QStringList{"2", "3", "300", "10"} << start;
    }
    void refusesBadFields()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        Line line;
        QVERIFY(line.open());
        frmMain &w = *line.w;
        w.comDoOnce_Click(); // a previous frame in txtCommand
        QCOMPARE(line.pty.read(8).size(), 8);
        const QString previous = w.txtCommand->text();
        w.txtState->setText(QStringLiteral("earlier"));
        paintBlack(w);
        w.requestKind = 0;
        w.PictureShow->hide();
        line.click(fields);
        QCOMPARE(line.h.messageTexts(), QStringList{message});
        QCOMPARE(line.h.messages[0].title, QStringLiteral("Morvane"));
        QCOMPARE(line.h.messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(line.pty.read(1, 100).isEmpty());
        QCOMPARE(w.txtCommand->text(), previous);
        QCOMPARE(w.txtState->text(), QStringLiteral("earlier"));
        QCOMPARE(int(w.requestKind), 0);
        QVERIFY(allColored(w, QColor(0, 0, 0)));
        QVERIFY(!w.PictureShow->isHidden());
    }

    void closedPortReportsAndSendsNothing()
    {
        Line line;
        QVERIFY(line.open());
        frmMain &w = *line.w;
        w.comDoOnce_Click();
        QCOMPARE(line.pty.read(8).size(), 8);
        const QString previous = w.txtCommand->text();
        line.pty.closeMaster(); // the adapter is unplugged
        QVERIFY(waitFor([&] { return !w.MSComm1->PortOpen(); }));
        QCOMPARE(int(w.commReady), -1);
        w.txtState->setText(QStringLiteral("earlier"));
        paintBlack(w);
        w.comDoOnce_Click();
        QCOMPARE(line.h.messageTexts(), QStringList{QStringLiteral("打开串口出错，请确定串口是否已被占用")});
        QCOMPARE(line.h.messages[0].title, QStringLiteral("Morvane"));
        QCOMPARE(w.FrontLamp(), w.imgNotConnected);
        QCOMPARE(int(w.commReady), 0);
        QVERIFY(w.txtState->text().isEmpty());
        QVERIFY(allColored(w, QColor(255, 0, 0)));
        QCOMPARE(w.txtCommand->text(), previous);
    }
};

QTEST_MAIN(RequestsTest)
#include "tst_requests.moc"
