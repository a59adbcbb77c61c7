// The window as a user first sees it, after a start-up without comm.set.
#include "app/twips.h"
#include "app/widgets.h"
#include "common/window.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
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
        w = &harness.open();
        QVERIFY(harness.messages.isEmpty());
    }

    void caption() { QCOMPARE(w->windowTitle(), QStringLiteral("KV4820-7 MODBUS温湿度采集模块工具软件V17.6")); }

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
    }

    // The framed text boxes are opaque, so nothing beneath is repainted with them: then their own
    // painting must cover every pixel, or stale pixels would show through.
    void textBoxesCoverTheirPixels()
    {
        const QList<QLineEdit *> boxes = w->findChildren<QLineEdit *>();
        int framed = 0;
        for (QLineEdit *box : boxes) {
            if (qobject_cast<QComboBox *>(box->parentWidget()))
                continue;
            ++framed;
            box->ensurePolished(); // as on show
            QVERIFY2(box->testAttribute(Qt::WA_OpaquePaintEvent), qPrintable(box->objectName()));
            QImage image(box->size(), QImage::Format_RGB32);
            const QRgb unpainted = qRgb(255, 0, 255);
            image.fill(unpainted);
            box->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
            int left = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    left += image.pixel(x, y) == unpainted;
            QVERIFY2(left == 0, qPrintable(QStringLiteral("%1: %2 pixels not painted").arg(box->objectName()).arg(left)));
        }
        QCOMPARE(framed, 19);
    }

    // A group box whose frame is copied from an earlier drawing looks as the window's style draws it,
    // also after a change (a stale copy would show the frame of the old size).
    void groupBoxesDrawnOnce_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("unchanged") << 0;
        QTest::newRow("retitled") << 1;
        QTest::newRow("disabled") << 2;
        QTest::newRow("resized") << 3;
        QTest::newRow("checkable") << 4;
        QTest::newRow("bold title") << 5;
    }
    void groupBoxesDrawnOnce()
    {
        QFETCH(int, change);
        FlatFrameStyle flat;
        QWidget top;
        top.resize(400, 200);
        QGroupBox plain(QStringLiteral("运行状态指示"), &top), copied(QStringLiteral("运行状态指示"), &top);
        copied.setStyle(&flat);
        for (QGroupBox *box : {&plain, &copied})
            box->setGeometry(10, 10, 257, 41);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        QCOMPARE(copied.grab().toImage(), plain.grab().toImage());
        for (QGroupBox *box : {&plain, &copied}) {
            switch (change) {
            case 1: box->setTitle(QStringLiteral("Queries and answers of the module")); break;
            case 2: box->setEnabled(false); break;
            case 3: box->resize(300, 80); break;
            case 4: box->setCheckable(true); break;
            case 5: {
                QFont bold = box->font();
                bold.setBold(true);
                box->setFont(bold);
                break;
            }
            default: break;
            }
        }
        QCOMPARE(copied.grab().toImage(), plain.grab().toImage());
        // The window's own group boxes are drawn through the copy as well.
        for (QGroupBox *box : w->findChildren<QGroupBox *>())
            QVERIFY2(dynamic_cast<FlatFrameStyle *>(box->style()), qPrintable(box->objectName()));
    }

    // A group box that shows an earlier picture of itself looks as a plain one, also after a change
    // to what it or the window beneath it shows.
    void cachedGroupBoxLooksAsAPlainOne_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("a child changes beneath the title") << QStringList{"count", "count"};
        QTest::newRow("retitled") << QStringList{"count", "title", "count"};
        QTest::newRow("disabled and enabled") << QStringList{"disable", "count", "enable", "count"};
        QTest::newRow("bold title") << QStringList{"count", "bold", "count"};
        QTest::newRow("window colour") << QStringList{"count", "window", "count"};
        QTest::newRow("moved") << QStringList{"count", "move", "count"};
        QTest::newRow("checkable") << QStringList{"count", "checkable", "count", "uncheck", "count"};
    }
    void cachedGroupBoxLooksAsAPlainOne()
    {
        QFETCH(QStringList, steps);
        QWidget top;
        top.resize(600, 80);
        QGroupBox plain(QStringLiteral("运行状态指示"), &top);
        PictureCachedGroupBox cached(QStringLiteral("运行状态指示"), &top);
        plain.setGeometry(10, 0, 257, 41);
        cached.setGeometry(300, 0, 257, 41);
        QLabel plainCount(QStringLiteral("0"), &plain), cachedCount(QStringLiteral("0"), &cached);
        for (QLabel *count : {&plainCount, &cachedCount})
            count->setGeometry(32, 16, 57, 17); // where the counters are, beneath the title
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        int counted = 0;
        for (const QString &step : steps) {
            ++counted;
            for (QGroupBox *box : {&plain, static_cast<QGroupBox *>(&cached)}) {
                auto *count = box->findChild<QLabel *>();
                if (step == QLatin1String("count"))
                    count->setText(QString::number(counted * 1111));
                else if (step == QLatin1String("title"))
                    box->setTitle(QStringLiteral("Queries and answers"));
                else if (step == QLatin1String("disable") || step == QLatin1String("enable"))
                    box->setEnabled(step == QLatin1String("enable"));
                else if (step == QLatin1String("bold")) {
                    QFont bold = box->font();
                    bold.setBold(true);
                    box->setFont(bold);
                } else if (step == QLatin1String("move"))
                    box->move(box->pos() + QPoint(1, 20));
                else if (step == QLatin1String("checkable"))
                    box->setCheckable(true);
                else if (step == QLatin1String("uncheck"))
                    box->setChecked(false);
            }
            if (step == QLatin1String("window")) {
                QPalette colors = top.palette();
                colors.setColor(QPalette::Window, QColor(200, 220, 255));
                top.setPalette(colors);
            }
            QCoreApplication::processEvents();
            const QImage window = top.screen()->grabWindow(top.winId()).toImage();
            QVERIFY(!window.isNull());
            QCOMPARE(window.copy(cached.geometry()), window.copy(plain.geometry()));
        }
        // The window's status box is one.
        QVERIFY(dynamic_cast<PictureCachedGroupBox *>(w->Frame6));
    }

    // The texts that repaint while polling are drawn without shaping; the window must look as it does
    // with every text shaped.
    void unshapedTextsLookShaped_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("count");
        QTest::newRow("read and its answer") << "01 03 00 00 00 0A C5 CD "
                                             << "01 03 14 08 3D 08 3E 08 3F 08 40 08 41 08 42 08 43 08 44 08 45 08 46 50 5E "
                                             << "1234567890";
        QTest::newRow("address change, waiting")
            << "02 06 0B 00 00 07 E8 0B " << QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)") << "2147483647";
        QTest::newRow("empty") << "" << "" << "0";
    }
    void unshapedTextsLookShaped()
    {
        QFETCH(QString, command);
        QFETCH(QString, state);
        QFETCH(QString, count);
        const QString before[] = {w->txtCommand->text(), w->txtState->text(), w->lblCounter->text(), w->lblErrCounter->text()};
        w->txtCommand->setText(command);
        w->txtState->setText(state);
        w->lblCounter->setText(count);
        w->lblErrCounter->setText(count);
        for (int i = 0; i < 10; ++i)
            w->txtValue[i]->setText(QString::number(-40.5 + 17.3 * i, 'f', 1));
        const QImage unshaped = w->grab().toImage();
        QList<QWidget *> changed;
        for (QWidget *widget : w->findChildren<QWidget *>()) {
            if (!(widget->font().styleStrategy() & QFont::PreferNoShaping))
                continue;
            QFont shaped = widget->font();
            shaped.setStyleStrategy(QFont::PreferDefault);
            widget->setFont(shaped);
            changed << widget;
        }
        QVERIFY(!changed.isEmpty());
        const QImage shaped = w->grab().toImage();
        for (QWidget *widget : changed) {
            QFont font = widget->font();
            font.setStyleStrategy(QFont::PreferNoShaping);
            widget->setFont(font);
        }
        w->txtCommand->setText(before[0]);
        w->txtState->setText(before[1]);
        w->lblCounter->setText(before[2]);
        w->lblErrCounter->setText(before[3]);
        for (QLineEdit *box : w->txtValue)
            box->setText(QStringLiteral("0"));
        QCOMPARE(unshaped, shaped);
    }

    // A box that shows earlier pictures of itself looks, in the window, as a plain text box in the same
    // state after every step: pictures are reused only while nothing they show has changed.
    void cachedBoxLooksAsAPlainOne_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("red and black again") << QStringList{"red", "black", "red", "black", "red"};
        QTest::newRow("a new text in each colour") << QStringList{"red", "black", "text 21.07", "red", "text 21.08"};
        QTest::newRow("back to an earlier text") << QStringList{"text 1.00", "red", "text 2.00", "text 1.00", "black"};
        QTest::newRow("a text wider than the box, scrolled") << QStringList{"text -12345.67890", "red", "black", "home", "red"};
        QTest::newRow("a selection, then none") << QStringList{"red", "select", "black", "deselect", "red"};
        QTest::newRow("disabled and enabled") << QStringList{"black", "disable", "red", "enable", "black"};
        QTest::newRow("another background") << QStringList{"red", "base", "black", "red"};
        QTest::newRow("emptied and filled") << QStringList{"red", "text ", "black", "text 3.50", "red"};
        // A scrolled text moves the box's caret mapping; the box painted again must set it back.
        QTest::newRow("clicked after a scrolled text") << QStringList{"red", "black", "text -12345.67890", "text 20.50", "red", "click"};
        QTest::newRow("right-aligned, clicked after a wider text") << QStringList{"align right", "text 1.00", "red", "text 22.00", "text 1.00", "click"};
        // Turned red, as a request does, then changed before it was painted.
        QTest::newRow("a new text before the red one showed") << QStringList{"red", "black", "red, text 21.00", "black"};
        QTest::newRow("clicked after a scrolled selection") << QStringList{"red", "black", "text -12345.67890", "select", "text 20.50", "red", "click"};
    }
    void cachedBoxLooksAsAPlainOne()
    {
        QFETCH(QStringList, steps);
        QWidget top;
        top.resize(200, 40);
        QLineEdit plain(QStringLiteral("20.50"), &top);
        PictureCachedLineEdit cached(QStringLiteral("20.50"), &top);
        plain.setGeometry(10, 10, 49, 18);
        cached.setGeometry(110, 10, 49, 18);
        for (QLineEdit *box : {&plain, static_cast<QLineEdit *>(&cached)})
            box->setFocusPolicy(Qt::NoFocus); // neither shows a caret
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        for (const QString &step : steps) {
            for (QLineEdit *box : {&plain, static_cast<QLineEdit *>(&cached)}) {
                if (step == QLatin1String("red") || step == QLatin1String("black"))
                    setTextColor(box, step == QLatin1String("red") ? QColor(255, 0, 0) : QColor(0, 0, 0));
                else if (step.startsWith(QLatin1String("red, text "))) {
                    setTextColor(box, QColor(255, 0, 0));
                    box->setText(step.mid(10));
                }
                else if (step.startsWith(QLatin1String("text ")))
                    box->setText(step.mid(5));
                else if (step == QLatin1String("home"))
                    box->setCursorPosition(0);
                else if (step == QLatin1String("align right"))
                    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                else if (step == QLatin1String("click"))
                    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(30, 9));
                else if (step == QLatin1String("select"))
                    box->setSelection(0, 2);
                else if (step == QLatin1String("deselect"))
                    box->deselect();
                else if (step == QLatin1String("disable") || step == QLatin1String("enable"))
                    box->setEnabled(step == QLatin1String("enable"));
                else if (step == QLatin1String("base")) {
                    QPalette colors = box->palette();
                    colors.setColor(QPalette::Base, QColor(255, 255, 200));
                    box->setPalette(colors);
                }
            }
            // As the window shows them, and drawn at twice the size as on a high-density screen.
            QCoreApplication::processEvents();
            const QImage window = top.screen()->grabWindow(top.winId()).toImage();
            QVERIFY(!window.isNull());
            QCOMPARE(window.copy(cached.geometry()), window.copy(plain.geometry()));
            QCOMPARE(cached.cursorPosition(), plain.cursorPosition());
            QCOMPARE(textColor(&cached), textColor(&plain));
            QImage doubled(top.size() * 2, QImage::Format_RGB32);
            doubled.setDevicePixelRatio(2);
            top.render(&doubled);
            const auto inDoubled = [](const QWidget &box) { return QRect(box.pos() * 2, box.size() * 2); };
            QCOMPARE(doubled.copy(inDoubled(cached)), doubled.copy(inDoubled(plain)));
        }
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
            QTest::qWait(300);
            QVERIFY2(blinks.count >= 3, "blinking before the time-out");
            QTest::qWait(250);
            blinks.count = 0;
            QTest::qWait(300);
            QCOMPARE(blinks.count, 0);
            QTest::keyClick(box, Qt::Key_A);
            QTest::qWait(300);
            QVERIFY2(blinks.count >= 3, "blinking again after a key press");
        }
        QCOMPARE(QApplication::cursorFlashTime(), 100);
        QApplication::setCursorFlashTime(flashTime);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
