// The window as a user first sees it, after a start-up without comm.set.
#include "app/look.h"
#include "app/twips.h"
#include "app/widgets.h"
#include "common/window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>

namespace {

QString textOf(const QWidget *w)
{
    return w->property(qobject_cast<const QGroupBox *>(w) ? "title" : "text").toString();
}

QStringList itemsOf(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

bool isClassicFont(const QFont &font)
{
    return QFontInfo(font).family() == QLatin1String("SimSun")
        || QFontInfo(font).family() == QLatin1String("Noto Sans Mono CJK SC");
}

// Counts the timer events of an object: a line edit's caret blinks on a timer of its line control.
struct TimerEvents : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Timer;
        return false;
    }
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
    WindowHarness harness;
    frmMain *w = nullptr;

    // Exactly one control carries the name, so tests and screenshots can find it.
    QWidget *control(const QString &name)
    {
        const QList<QWidget *> found = w->findChildren<QWidget *>(name);
        return found.size() == 1 ? found.first() : nullptr;
    }

private slots:
    void initTestCase()
    {
        useClassicLook();
        w = &harness.open();
        QVERIFY(harness.messages.isEmpty());
    }

    void caption() { QCOMPARE(w->windowTitle(), QStringLiteral("KV4820-7 MODBUS温湿度采集模块工具软件V17.6")); }

    // The window's CRC procedure hands its result back through HiByte (first on the wire) and LoByte,
    // over bytes 0..j whatever follows them; FormatHex gives two upper-case digits.
    void crcAndHexProcedures()
    {
        QCOMPARE(w->FormatHex(0x0A), QStringLiteral("0A"));
        w->Crc16(QByteArray::fromHex("02030000000A1234"), 5);
        QCOMPARE(w->HiByte, 0xC5);
        QCOMPARE(int(w->LoByte), 0xFE);
        w->Crc16(QByteArray::fromHex("010300000002"), -1);
        QCOMPARE(w->HiByte, 0xFF);
        QCOMPARE(int(w->LoByte), 0xFF);
    }

    void twipsConversion()
    {
        QCOMPARE(twipsToPixels(15, 96), 1);
        QCOMPARE(twipsToPixels(1440, 192), 192);
        QCOMPARE(QSize(twipsToPixels(10710, 96), twipsToPixels(9075, 96)), QSize(714, 605));
    }

    void clientSize()
    {
        const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
        const QSize expected(twipsToPixels(10710, dpi), twipsToPixels(9075, dpi));
        QCOMPARE(w->size(), expected);
        QCOMPARE(w->minimumSize(), expected);
        QCOMPARE(w->maximumSize(), expected);
    }

    void controlTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("text");
        const char *rows[][3] = {
            {"Frame5", "frmMain", "串口设置"}, {"Frame6", "frmMain", "运行状态指示"},
            {"Frame10", "frmMain", "MODBUS设置"}, {"Frame12", "frmMain", "设备ID修改操作(子功能号0x0B )"},
            {"Frame2", "frmMain", "观察窗"}, {"Frame11", "frmMain", "数据查询操作"},
            {"Frame1", "frmMain", "二次开发命令观察窗口"},
            {"Label3", "Frame5", "串口号"}, {"Label5(2)", "Frame5", "波特率"}, {"cmdCom", "Frame5", "保存设置"},
            {"lblErrCounter", "Frame6", "0"}, {"lblCounter", "Frame6", "0"},
            {"Label8(0)", "Frame10", "设备地址"}, {"txtStationID", "Frame10", "1"}, // set by the start-up
            {"Label8(3)", "Frame10", "功 能 码"}, {"txtFunID", "Frame10", "3"},
            {"Label8(1)", "Frame10", "超始地址"}, {"txtStartID", "Frame10", "0"},
            {"Label8(2)", "Frame10", "数据长度"}, {"txtDataLength", "Frame10", "10"},
            {"Label2(0)", "Frame12", "将地址      改为"}, {"txtSetID(0)", "Frame12", "1"},
            {"txtSetID(1)", "Frame12", "1"}, {"cmdReadAdd", "Frame12", "读地址"}, {"cmdChangeID", "Frame12", "修改"},
            {"Label8(4)", "Frame11", "定时时长(ms)"}, {"txtTimerSet", "Frame11", "1000"},
            {"comDoOnce", "Frame11", "单次"}, {"cmdOneM", "Frame11", "循环"}, {"cmdStopOnce", "Frame11", "停止"},
            {"Label7", "Frame1", "发送命令:"}, {"txtCommand", "Frame1", ""}, {"txtState", "Frame1", ""},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
        for (int i = 0; i < 10; ++i) {
            const QString name = QStringLiteral("txtValue(%1)").arg(i);
            QTest::newRow(qPrintable(name)) << name << "Frame2" << "0";
        }
    }
    void controlTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, group);
        QFETCH(QString, text);
        QWidget *c = control(name);
        QVERIFY2(c, qPrintable(name));
        QCOMPARE(textOf(c), text);
        QWidget *enclosing = c->parentWidget();
        while (enclosing && enclosing != w && !qobject_cast<QGroupBox *>(enclosing))
            enclosing = enclosing->parentWidget();
        QVERIFY(enclosing);
        QCOMPARE(enclosing->objectName(), group);
    }

    void portAndRateLists()
    {
        auto *ports = qobject_cast<QComboBox *>(control("Combo1"));
        auto *rates = qobject_cast<QComboBox *>(control("Combo2"));
        QVERIFY(ports && rates);
        QStringList com;
        for (int n = 1; n <= 16; ++n)
            com << QStringLiteral("COM%1").arg(n);
        QCOMPARE(itemsOf(ports), com);
        QVERIFY(ports->isEditable());
        QCOMPARE(ports->currentText(), QStringLiteral("COM4"));
        QCOMPARE(selectedEntry(ports), -1);
        QCOMPARE(itemsOf(rates), (QStringList{"9600", "19200", "38400"}));
        QVERIFY(rates->isEditable());
        // Without comm.set the rate in force is 9600, and the start-up shows it.
        QCOMPARE(selectedEntry(rates), 0);
        QCOMPARE(rates->currentText(), QStringLiteral("9600"));
    }

    void valueRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("unitIndex");
        QTest::addColumn<QString>("unit");
        const char *rows[10][2] = {{"1#温度值", "0℃"}, {"1#湿度值", "1%RH"}, {"2#温度值", "2℃"}, {"2#湿度值", "3%RH"},
                                   {"3#温度值", "6℃"}, {"3#湿度值", "4%RH"}, {"4#温度值", "7℃"}, {"4#湿度值", "5%RH"},
                                   {"5#温度值", "8℃"}, {"5#湿度值", "9%RH"}}; // unit label index, then its caption
        for (int i = 0; i < 10; ++i)
            QTest::newRow(qPrintable(QStringLiteral("row %1").arg(i))) << i << QString::fromUtf8(rows[i][0])
                << rows[i][1][0] - '0' << QString::fromUtf8(rows[i][1] + 1);
    }
    void valueRows()
    {
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(int, unitIndex);
        QFETCH(QString, unit);
        QWidget *value = control(QStringLiteral("txtValue(%1)").arg(row));
        auto *label = qobject_cast<QLabel *>(control(QStringLiteral("lblValue(%1)").arg(row)));
        QVERIFY(value && label);
        QCOMPARE(label->text(), name);
        QCOMPARE(label->y(), value->y());
        QVERIFY(label->geometry().right() < value->x());
        QList<QLabel *> beside;
        for (int k = 0; k < 10; ++k)
            if (auto *u = qobject_cast<QLabel *>(control(QStringLiteral("lblDanWei(%1)").arg(k))))
                if (u->y() == value->y() && u->x() > value->geometry().right())
                    beside << u;
        QCOMPARE(beside.size(), 1);
        QCOMPARE(beside.first()->objectName(), QStringLiteral("lblDanWei(%1)").arg(unitIndex));
        QCOMPARE(beside.first()->text(), unit);
    }

    void lamps()
    {
        QWidget *picture = control("Picture2");
        QVERIFY(picture);
        QRect spot;
        for (const char *name : {"imgNotConnected", "ImgYellow", "imgConnected"}) {
            QWidget *lamp = control(QLatin1String(name));
            QVERIFY2(lamp, name);
            QCOMPARE(lamp->parentWidget(), picture);
            QCOMPARE(lamp->size(), QSize(16, 16));
            QCOMPARE(lamp->toolTip(), QStringLiteral("数据采集通讯状态指示"));
            if (spot.isNull())
                spot = lamp->geometry();
            QCOMPARE(lamp->geometry(), spot);
        }
        // Raising one lamp brings it to the front.
        w->ShowLamp(w->ImgYellow);
        QCOMPARE(w->FrontLamp(), w->ImgYellow);
        QCOMPARE(picture->childAt(spot.center()), w->ImgYellow);
        w->ShowLamp(w->imgConnected);
        QCOMPARE(picture->childAt(spot.center()), w->imgConnected);
    }

    // The window shows the lamp last brought to the front, whichever came before it.
    void lampShownIsTheFrontOne_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("yellow, then green") << QStringList{"ImgYellow", "imgConnected"};
        QTest::newRow("green, then yellow") << QStringList{"imgConnected", "ImgYellow"};
        QTest::newRow("the same lamp twice") << QStringList{"imgNotConnected", "imgNotConnected"};
        QTest::newRow("red after an exchange") << QStringList{"ImgYellow", "imgConnected", "imgNotConnected"};
    }
    void lampShownIsTheFrontOne()
    {
        QFETCH(QStringList, order);
        for (const QString &name : order) {
            auto *lamp = qobject_cast<QLabel *>(control(name));
            QVERIFY(lamp);
            w->ShowLamp(lamp);
            const QImage window = w->grab().toImage();
            const QPoint centre = lamp->mapTo(w, lamp->rect().center());
            const QRgb own = lamp->pixmap().toImage().pixel(lamp->rect().center());
            QCOMPARE(QColor(window.pixel(centre)), QColor(own));
        }
        w->ShowLamp(w->imgNotConnected);
    }

    void counters()
    {
        QWidget *received = control("lblErrCounter");
        QWidget *requests = control("lblCounter");
        auto *line = dynamic_cast<LineWidget *>(control("Line1"));
        QVERIFY(received && requests && line);
        QCOMPARE(received->toolTip(), QStringLiteral("误码率"));
        QCOMPARE(requests->toolTip(), QStringLiteral("测试统计"));
        QCOMPARE(line->parentWidget(), received->parentWidget());
        // A slash: from upper right down to lower left, between the two counters.
        QVERIFY(line->from().x() > line->to().x());
        QVERIFY(line->from().y() < line->to().y());
        QVERIFY(line->geometry().center().x() > received->geometry().center().x());
        QVERIFY(line->geometry().right() < requests->x());
        // Both tips are drawn: the widget holds the whole line.
        QVERIFY(line->geometry().contains(line->from()));
        QVERIFY(line->geometry().contains(line->to()));
    }

    // The layout was drawn for a font whose Latin letters and blanks are half a Han character wide:
    // with it, every caption fits the width its control was given.
    void captionsFit_data()
    {
        QTest::addColumn<QString>("name");
        if (!isClassicFont(w->font()))
            return;
        for (QWidget *c : w->findChildren<QWidget *>()) {
            if ((qobject_cast<QLabel *>(c) && !qobject_cast<QLabel *>(c)->pixmap().isNull()) || c->objectName().isEmpty())
                continue;
            if (qobject_cast<QLabel *>(c) || qobject_cast<QPushButton *>(c))
                QTest::newRow(qPrintable(c->objectName())) << c->objectName();
        }
    }
    void captionsFit()
    {
        if (!isClassicFont(w->font()))
            QSKIP("Neither SimSun nor Noto Sans Mono CJK SC (Debian fonts-noto-cjk) is installed");
        if (w->logicalDpiX() != 96)
            QSKIP("The screen is not at 96 dpi");
        QFETCH(QString, name);
        QWidget *c = control(name);
        QVERIFY(c);
        const QString text = textOf(c);
        int room = 0;
        if (auto *button = qobject_cast<QPushButton *>(c)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text;
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        } else {
            room = c->contentsRect().width();
        }
        const int needed = c->fontMetrics().horizontalAdvance(text);
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 px for %2 px").arg(needed).arg(room)));
    }

    // The address box stands in the first gap of "将地址      改为": "改为" must show beside it.
    void addressBoxLeavesItsCaptionReadable()
    {
        if (!isClassicFont(w->font()))
            QSKIP("Neither SimSun nor Noto Sans Mono CJK SC (Debian fonts-noto-cjk) is installed");
        const QLabel *caption = w->Label2[0];
        const QString text = caption->text();
        const int changeTo = caption->x() + caption->fontMetrics().horizontalAdvance(text.left(text.indexOf(QStringLiteral("改为"))));
        const int addressEnds = caption->x() + caption->fontMetrics().horizontalAdvance(text.left(3));
        QVERIFY2(addressEnds <= w->txtSetID[0]->x(), qPrintable(QString::number(addressEnds)));
        QVERIFY2(changeTo >= w->txtSetID[0]->geometry().right(), qPrintable(QString::number(changeTo)));
        QVERIFY(caption->x() + caption->fontMetrics().horizontalAdvance(text) <= w->txtSetID[1]->x());
    }

    // The boxes that show values and traffic take no typing, yet their text can be copied.
    void showingBoxesAreReadOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("value") << "txtValue(0)";
        QTest::newRow("command") << "txtCommand";
        QTest::newRow("state") << "txtState";
    }
    void showingBoxesAreReadOnly()
    {
        QFETCH(QString, name);
        auto *box = qobject_cast<QLineEdit *>(control(name));
        QVERIFY(box);
        box->setText(QStringLiteral("21.50"));
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("9"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QStringLiteral("21.50"));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("21.50"));
    }

    // An idle window is not woken by the caret; the next input makes it blink again.
    void caretStopsBlinkingWhenIdle()
    {
        const int flashTime = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(100); // a timer event every 50 ms while blinking
        QWidget top;
        auto *box = new QLineEdit(&top);
        top.show();
        QVERIFY(QTest::qWaitForWindowActive(&top));
        box->setFocus();
        QObject *control = nullptr;
        for (QObject *child : box->children())
            if (child->inherits("QWidgetLineControl"))
                control = child;
        QVERIFY(control);
        TimerEvents blinks;
        control->installEventFilter(&blinks);
        {
            CaretBlinkTimeout timeout(400, nullptr);
            // The blink timer (50 ms) falls due before the time-out (400 ms), however late the loop runs.
            QTRY_COMPARE_WITH_TIMEOUT(QApplication::cursorFlashTime(), 0, 20000);
            QVERIFY2(blinks.count >= 1, "blinking before the time-out");
            blinks.count = 0;
            QTest::qWait(300);
            QCOMPARE(blinks.count, 0);
            QTest::keyClick(box, Qt::Key_A);
            QTRY_VERIFY2_WITH_TIMEOUT(blinks.count >= 1, "blinking again after a key press", 20000);
        }
        QCOMPARE(QApplication::cursorFlashTime(), 100);
        QApplication::setCursorFlashTime(flashTime);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
