// Loaded into the real kv4820-tool with LD_PRELOAD: drives its window through Qt Test, prints what it
// saw as key=value lines on stdout and quits. KV_E2E_SCENARIO, read only here, names the scenario
// and its numbers: "read:COUNT", "poll:INTERVAL:REQUESTS", "address", "save:PORT", "record:INTERVAL:MS",
// "traffic:INTERVAL:MS" or "close:INTERVAL:MS".
#include <QtCharts>
#include <QtTest>
#include <QtWidgets>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

QWidget *g_window = nullptr;
QString g_expectedBox; // the one message box the scenario brings up on purpose

void print(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

template <typename T> T *find(const QString &name)
{
    if (T *w = g_window->findChild<T *>(name))
        return w;
    throw std::runtime_error("no control " + name.toStdString());
}
QString text(const QString &name) { return find<QLineEdit>(name)->text(); }
QString caption(const QString &name) { return find<QLabel>(name)->text(); }
void setText(const QString &name, const QString &t) { find<QLineEdit>(name)->setText(t); }
void click(const QString &name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
QWidget *shownWindow(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title && w->isVisible())
            return w;
    throw std::runtime_error("no window " + title.toStdString() + " shown");
}

// Not QTest::qWaitFor: it sleeps 10 ms between rounds, which would stall the tool's own event
// handling and show in the timings. The short timer only keeps the loop waking up.
template <typename F> bool waitFor(F condition, int ms)
{
    QTimer wake;
    wake.start(5);
    const QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return condition();
}
template <typename F> void waitUntil(const char *what, F condition, int ms = 20000)
{
    if (!waitFor(condition, ms))
        throw std::runtime_error(std::string("timed out waiting for ") + what);
}

// An answer's hex text starts with a blank; the address commands' waiting text does not.
bool answerShown() { return text(u"txtState"_s).startsWith(u' '); }

// Single reads, each timed from the click to the answer's text (its values are written in the same handler).
void read(int count)
{
    print("port", find<QComboBox>(u"Combo1"_s)->currentText());
    QStringList times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        qint64 shownNs = -1;
        const auto c = QObject::connect(find<QLineEdit>(u"txtState"_s), &QLineEdit::textChanged, [&](const QString &t) {
            if (t.startsWith(u' ') && shownNs < 0)
                shownNs = clock.nsecsElapsed();
        });
        clock.start();
        click(u"comDoOnce"_s);
        waitUntil("the answer", [&] { return shownNs >= 0; });
        QObject::disconnect(c);
        times << QString::number(shownNs / 1e6, 'f', 2);
    }
    print("ms", times.join(u','));
}

// For each polling tick (the one precise QTimer at the polling interval), the last moment before it
// that the tool handled any event, in local ms of the day like the module's log. An answer that ended
// after that moment was still unread when the tick sent the next request. Only ticks that fire count:
// one the timer skips, too soon after a late one, sends nothing.
struct TickClock : QObject
{
    int interval = 0, lastEvent = 0, beforeTimer = 0;
    QStringList idle;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        auto *t = qobject_cast<QTimer *>(o);
        if (e->type() == QEvent::Timer && t && t->timerType() == Qt::PreciseTimer && t->interval() == interval)
            beforeTimer = lastEvent;
        lastEvent = QTime::currentTime().msecsSinceStartOfDay();
        return false;
    }
};

void poll(int interval, int requests)
{
    TickClock ticks;
    ticks.interval = interval;
    qApp->installEventFilter(&ticks);
    // The polling timer's Tick, by name (this driver does not see the tool's classes), relayed to a lambda.
    auto *fired = new QAction(&ticks);
    QObject::connect(find<QObject>(u"Timer2"_s), SIGNAL(Tick()), fired, SLOT(trigger()));
    QObject::connect(fired, &QAction::triggered, [&ticks] { ticks.idle << QString::number(ticks.beforeTimer); });
    setText(u"txtTimerSet"_s, QString::number(interval));
    click(u"cmdOneM"_s);
    waitUntil("the requests", [&] { return caption(u"lblCounter"_s).toInt() > requests; }, std::max(60000, 2 * requests * interval));
    click(u"cmdStopOnce"_s);
    // The last answer may still be on its way (slower under Wine on a busy machine); with dropped
    // answers the counters never meet.
    waitFor([] { return caption(u"lblErrCounter"_s) == caption(u"lblCounter"_s); }, 3000);
    print("idle", ticks.idle.join(u','));
}

void address()
{
    click(u"cmdReadAdd"_s);
    waitUntil("the address", answerShown);
    print("readStation", text(u"txtStationID"_s));
    print("readSetID", text(u"txtSetID(0)"_s));
    setText(u"txtSetID(0)"_s, u"7"_s);
    setText(u"txtSetID(1)"_s, u"9"_s);
    click(u"cmdChangeID"_s);
    waitUntil("the echo", answerShown);
    print("changedStation", text(u"txtStationID"_s));
    // The read follows once the module has logged the whole echo as sent.
    waitUntil("the end of the echo", [] {
        QFile log(QCoreApplication::applicationDirPath() + u"/sim.log"_s);
        return log.open(QIODevice::ReadOnly) && log.readAll().count(" -> ") == 2;
    });
    setText(u"txtStationID"_s, u"9"_s);
    click(u"comDoOnce"_s);
    waitUntil("the read at the new address", answerShown);
}

// Picks COMn in the port list, presses "保存设置" and expects its confirmation; tells the window's icon sizes.
void save(int port)
{
    auto *ports = find<QComboBox>(u"Combo1"_s);
    const int entry = ports->findText(u"COM%1"_s.arg(port));
    if (entry < 0)
        throw std::runtime_error("no entry COM" + std::to_string(port));
    ports->setCurrentIndex(entry);
    Q_EMIT ports->activated(entry);
    g_expectedBox = u"串口设置保存成功"_s;
    click(u"cmdCom"_s);
    QStringList sizes;
    for (const QSize &size : g_window->windowIcon().availableSizes())
        sizes << QString::number(size.width());
    print("iconSizes", sizes.join(u','));
}

// Polls for ms with a recording (record.csv beside the tool) and the trend window on, both through the
// window's ValueTools object. Counts the answers decoded as the window announces them; stops the
// recording and reads that count at one moment, so a late answer cannot fall between them.
void record(int interval, int ms)
{
    QObject *tools = find<QObject>(u"ValueTools"_s);
    const QString path = QCoreApplication::applicationDirPath() + u"/record.csv"_s;
    bool started = false;
    if (!QMetaObject::invokeMethod(tools, "startRecording", Q_RETURN_ARG(bool, started), Q_ARG(QString, path)) || !started)
        throw std::runtime_error("the recording did not start");
    if (!QMetaObject::invokeMethod(tools, "showTrend"))
        throw std::runtime_error("no showTrend");
    int decoded = 0;
    auto *counted = new QAction(tools);
    QObject::connect(g_window, SIGNAL(valuesDecoded(QStringList,QList<double>)), counted, SLOT(trigger()));
    QObject::connect(counted, &QAction::triggered, [&decoded] { ++decoded; });
    setText(u"txtTimerSet"_s, QString::number(interval));
    click(u"cmdOneM"_s);
    waitFor([] { return false; }, ms);
    click(u"cmdStopOnce"_s);
    waitFor([] { return caption(u"lblErrCounter"_s) == caption(u"lblCounter"_s); }, 1000);

    QWidget *trend = shownWindow(u"趋势图"_s);
    QChart *chart = nullptr;
    if (auto *view = trend->findChild<QChartView *>())
        chart = view->chart();
    if (!chart)
        throw std::runtime_error("no chart in the trend window");
    // The points each named series draws, once the trend has drawn the last answer (it redraws once a second).
    waitFor([] { return false; }, 1500);
    QStringList points;
    for (QAbstractSeries *s : chart->series())
        if (!s->name().isEmpty())
            points << QString::number(static_cast<QXYSeries *>(s)->count());
    print("trendPoints", points.join(u','));
    QMetaObject::invokeMethod(tools, "stopRecording");
    print("decoded", QString::number(decoded));
    print("recording", path);
}

// Polls for ms with the traffic log open, through the object "TrafficLog" that main.cpp attaches,
// then saves its rows to traffic.csv beside the tool.
void traffic(int interval, int ms)
{
    QObject *log = find<QObject>(u"TrafficLog"_s);
    if (!QMetaObject::invokeMethod(log, "showLog"))
        throw std::runtime_error("no showLog");
    shownWindow(u"通信记录"_s);
    setText(u"txtTimerSet"_s, QString::number(interval));
    click(u"cmdOneM"_s);
    waitFor([] { return false; }, ms);
    click(u"cmdStopOnce"_s);
    waitFor([] { return caption(u"lblErrCounter"_s) == caption(u"lblCounter"_s); }, 1000);
    const QString path = QCoreApplication::applicationDirPath() + u"/traffic.csv"_s;
    bool saved = false;
    if (!QMetaObject::invokeMethod(log, "save", Q_RETURN_ARG(bool, saved), Q_ARG(QString, path)) || !saved)
        throw std::runtime_error("the traffic log was not saved");
    print("traffic", path);
}

// Polls for ms with the recording, the trend and the traffic log open, then closes the window while
// polling goes on and prints the time of the close (ms since the epoch): whoever started the tool
// times its exit.
void closeWhileBusy(int interval, int ms)
{
    QObject *tools = find<QObject>(u"ValueTools"_s);
    bool started = false;
    const QString path = QCoreApplication::applicationDirPath() + u"/record.csv"_s;
    if (!QMetaObject::invokeMethod(tools, "startRecording", Q_RETURN_ARG(bool, started), Q_ARG(QString, path)) || !started)
        throw std::runtime_error("the recording did not start");
    QMetaObject::invokeMethod(tools, "showTrend");
    QMetaObject::invokeMethod(find<QObject>(u"TrafficLog"_s), "showLog");
    setText(u"txtTimerSet"_s, QString::number(interval));
    click(u"cmdOneM"_s);
    waitFor([] { return false; }, ms);
    print("received", caption(u"lblErrCounter"_s));
    print("closingMs", QString::number(QDateTime::currentMSecsSinceEpoch()));
    g_window->close();
}

void runScenario()
{
    int code = 0;
    // A message box would block the scenario inside a click: report it and close it.
    QTimer modalWatch;
    QObject::connect(&modalWatch, &QTimer::timeout, [&code] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            print("messageBox", box->text());
            if (!box->buttons().isEmpty())
                print("messageButton", box->buttons().first()->text());
            if (box->text() != g_expectedBox)
                code = 2;
            box->reject();
        }
    });
    modalWatch.start(100);
    try {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmMain"_L1)
                g_window = w;
        if (!g_window)
            throw std::runtime_error("no window frmMain");
        const QStringList s = qEnvironmentVariable("KV_E2E_SCENARIO").split(u':');
        if (s[0] == "read"_L1 && s.size() == 2)
            read(s[1].toInt());
        else if (s[0] == "poll"_L1 && s.size() == 3)
            poll(s[1].toInt(), s[2].toInt());
        else if (s[0] == "address"_L1)
            address();
        else if (s[0] == "save"_L1 && s.size() == 2)
            save(s[1].toInt());
        else if (s[0] == "record"_L1 && s.size() == 3)
            record(s[1].toInt(), s[2].toInt());
        else if (s[0] == "traffic"_L1 && s.size() == 3)
            traffic(s[1].toInt(), s[2].toInt());
        else if (s[0] == "close"_L1 && s.size() == 3)
            return closeWhileBusy(s[1].toInt(), s[2].toInt()); // the program ends by itself
        else
            throw std::runtime_error("unknown scenario");
        QStringList values, colours;
        for (int i = 0; i < 10; ++i) {
            auto *box = find<QLineEdit>(u"txtValue(%1)"_s.arg(i));
            values << box->text();
            // A value box may keep its text colour apart from its palette.
            const QVariant shown = box->property("textColor");
            colours << (shown.isValid() ? shown.value<QColor>() : box->palette().color(QPalette::Text)).name();
        }
        print("font", g_window->font().family());
        print("values", values.join(u'|'));
        print("colours", colours.join(u'|'));
        print("command", text(u"txtCommand"_s));
        print("state", text(u"txtState"_s));
        print("counter", caption(u"lblCounter"_s));
        print("received", caption(u"lblErrCounter"_s));
    } catch (const std::exception &e) {
        print("failed", QString::fromStdString(e.what()));
        code = 1;
    }
    QCoreApplication::exit(code);
}

// Runs once the event loop starts, after the window has loaded and been shown.
void scheduleScenario() { QTimer::singleShot(0, runScenario); }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(scheduleScenario)
