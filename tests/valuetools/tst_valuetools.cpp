// The value panel's menu, copying, and recording the answers the window decodes off a real line.
#include "record/valuetools.h"
#include "common/filesizelimit.h"
#include "common/pty.h"
#include "common/window.h"
#include "serial/MSComm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>

namespace {

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<unreadable>")};
    return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
}

struct Line
{
    Pty pty;
    WindowHarness h;
    frmMain *w = nullptr;
    ValueTools *tools = nullptr;
    bool open()
    {
        w = pty.linkAs(h.dir.path(), 3) ? &h.open("3,19200\r\n") : nullptr;
        if (w)
            new ValueTools(w);
        tools = w ? w->findChild<ValueTools *>(QStringLiteral("ValueTools")) : nullptr;
        return tools && w->MSComm1->PortOpen();
    }
    // A read of count registers from box 0, and its answer handled.
    bool exchange(int count, const QByteArray &answer)
    {
        w->txtDataLength->setText(QString::number(count));
        w->comDoOnce_Click();
        const qint32 before = w->receiveCount;
        return pty.read(8).size() == 8 && pty.write(answer) && waitFor([&] { return w->receiveCount != before; });
    }
};

} // namespace

class TestValueTools : public QObject
{
    Q_OBJECT
private slots:
    void menu_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("the panel") << "PictureShow";
        QTest::newRow("a name") << "lblValue(4)";
        QTest::newRow("a value box") << "txtValue(9)";
        QTest::newRow("a unit") << "lblDanWei(6)";
    }
    // A right click anywhere on the panel opens its menu, the value boxes' own menu included; an
    // item that does not apply is disabled.
    void menu()
    {
        QFETCH(QString, target);
        WindowHarness h;
        frmMain &w = h.open();
        new ValueTools(&w);
        auto *tools = w.findChild<ValueTools *>(QStringLiteral("ValueTools"));
        QVERIFY(tools);
        QCOMPARE(w.PictureShow->toolTip(), QStringLiteral("右键: 复制数值、记录数据、趋势图"));
        auto *widget = w.findChild<QWidget *>(target);
        QVERIFY(widget);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(widget, &event);
        auto *menu = w.PictureShow->findChild<QMenu *>();
        QVERIFY(menu && menu->isVisible());
        QStringList items;
        for (QAction *a : menu->actions())
            items << a->text() + (a->isEnabled() ? "" : " (off)");
        QCOMPARE(items, QStringList({"复制数值", "开始记录...", "停止记录 (off)", "趋势图..."}));
        menu->close();

        QVERIFY(tools->startRecording(h.dir.filePath(QStringLiteral("r.csv"))));
        QVERIFY(!tools->startAction()->isEnabled());
        QVERIFY(tools->stopAction()->isEnabled());
        tools->stopAction()->trigger();
        QVERIFY(!tools->isRecording());
        QVERIFY(tools->startAction()->isEnabled());
        QVERIFY(!tools->stopAction()->isEnabled());
    }

    // Name, text, unit: rows 4 to 7 have their unit though its label has another index.
    void copy()
    {
        WindowHarness h;
        frmMain &w = h.open();
        new ValueTools(&w);
        for (int i = 0; i < 10; ++i)
            w.txtValue[i]->setText(QString::number(i) + QStringLiteral(".50"));
        w.findChild<ValueTools *>()->copyAction()->trigger();
        const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines[0], QStringLiteral("1#温度值\t0.50\t℃"));
        QCOMPARE(lines[4], QStringLiteral("3#温度值\t4.50\t℃"));
        QCOMPARE(lines[5], QStringLiteral("3#湿度值\t5.50\t%RH"));
        QCOMPARE(lines[6], QStringLiteral("4#温度值\t6.50\t℃"));
        QCOMPARE(lines[7], QStringLiteral("4#湿度值\t7.50\t%RH"));
        QCOMPARE(lines[9], QStringLiteral("5#湿度值\t9.50\t%RH"));
        QCOMPARE(lines[10], QString());
    }

    // A row per answer the window decodes, as its boxes show it: a fault value and the slots a short
    // read leaves alone are empty; an answer it refuses writes nothing.
    void recordsDecodedAnswers()
    {
        Line line;
        QVERIFY(line.open());
        const QString path = line.h.dir.filePath(QStringLiteral("r.csv"));
        QVERIFY(line.tools->startRecording(path));
        QList<quint16> ten = {2345, 4567, 65024, 5000, 0, 100, 2000, 9999, 0xFFFF, 4321};
        QVERIFY(line.exchange(10, registerAnswer(ten)));
        QByteArray refused = registerAnswer({100, 200});
        refused[refused.size() - 1] = char(refused.back() ^ 1);
        QVERIFY(line.exchange(2, refused));
        QVERIFY(line.exchange(2, registerAnswer({100, 200})));
        line.tools->stopRecording();
        QVERIFY(line.exchange(2, registerAnswer({300, 400})));

        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 4); // header, two rows, and the empty rest after the last CRLF
        QVERIFY2(lines[0].startsWith(QStringLiteral("时间,1#温度值(℃),1#湿度值(%RH),2#温度值(℃),")), qPrintable(lines[0]));
        const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},"));
        QVERIFY2(time.match(lines[1]).hasMatch(), qPrintable(lines[1]));
        QCOMPARE(lines[1].section(QLatin1Char(','), 1), QStringLiteral("23.45,45.67,-5.12,50.00,0.00,1.00,20.00,99.99,,43.21"));
        QCOMPARE(line.w->txtValue[8]->text(), QStringLiteral("0")); // the box shows the fault value so
        QCOMPARE(lines[2].section(QLatin1Char(','), 1), QStringLiteral("1.00,2.00,,,,,,,,"));
        QCOMPARE(lines[3], QString());
    }

    // The disk fills while recording: one box tells why, the recording stops, the rows stay.
    void failedWrite()
    {
        Line line;
        QVERIFY(line.open());
        const QString path = line.h.dir.filePath(QStringLiteral("r.csv"));
        QVERIFY(line.tools->startRecording(path));
        QVERIFY(line.exchange(2, registerAnswer({100, 200})));
        const QStringList kept = fileLines(path);
        {
            FileSizeLimit limit(QFileInfo(path).size() + 10);
            QVERIFY(limit.isSet());
            QVERIFY(line.exchange(2, registerAnswer({300, 400})));
            QVERIFY(line.exchange(2, registerAnswer({500, 600})));
        }
        QVERIFY(waitFor([&] { return !line.h.messages.isEmpty(); }));
        QTest::qWait(50);
        QCOMPARE(line.h.messages.size(), 1);
        QVERIFY2(line.h.messages[0].text.startsWith(QStringLiteral("记录文件写入失败，记录已停止。\n"))
                     && line.h.messages[0].text.size() > 16, qPrintable(line.h.messages[0].text));
        QVERIFY(!line.tools->isRecording());
        QVERIFY(line.tools->startAction()->isEnabled());
        QCOMPARE(fileLines(path), kept);
    }
};

QTEST_MAIN(TestValueTools)
#include "tst_valuetools.moc"
