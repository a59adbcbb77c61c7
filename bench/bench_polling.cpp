// The tool's window polling the virtual module at 19200 baud every 50 ms, then left open and idle.
// Prints key=value lines for scripts/bench, which runs it beside bench_bareqt.
//   bench_polling SECONDS IDLE_SECONDS [trend|log|all]
// With trend, the trend window is open and recording to a CSV file is on while it polls; without the
// object that offers them it prints value_tools=missing and polls nothing. With log, the traffic log
// is attached as main.cpp does, its window open and its rows already full (10 000), so that every new
// row drops the oldest. With all, both: the long run of a user who left everything open.
#include "app/frmMain.h"
#include "record/valuetools.h"
#include "app/look.h"
#include "polling/Timer.h"
#include "rig.h"
#include "serial/MSComm.h"
#include "traffic/trafficlog.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kIntervalMs = 50;

bool invoke(QObject *tools, const char *method, const QString &path = {})
{
    return tools
        && (path.isEmpty() ? QMetaObject::invokeMethod(tools, method)
                           : QMetaObject::invokeMethod(tools, method, Q_ARG(QString, path)));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    useClassicLook();
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_polling SECONDS IDLE_SECONDS [trend|log|all]\n");
        return 2;
    }
    const int seconds = std::atoi(argv[1]), idleSeconds = std::atoi(argv[2]);
    const std::string tools = argc > 3 ? argv[3] : "";
    const bool trend = tools == "trend" || tools == "all";
    const bool log = tools == "log" || tools == "all";
    VirtualModule module(19200, {}); // drifting values, so the texts change now and then
    frmMain window(module.programDir(), [](const MessageBoxRequest &) { return 0; });
    new ValueTools(&window);
    window.show();
    if (!module.running() || !window.MSComm1->PortOpen()) {
        std::fprintf(stderr, "bench_polling: the window could not open the virtual module's port\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("bench.csv"));
    QObject *valueTools = window.findChild<QObject *>(QStringLiteral("ValueTools"));
    if (trend && !(invoke(valueTools, "showTrend") && invoke(valueTools, "startRecording", csv))) {
        std::printf("value_tools=missing\n");
        return 0;
    }
    TrafficLog *traffic = log ? new TrafficLog(&window) : nullptr;
    if (traffic) {
        const QByteArray request = QByteArray::fromHex("020300000002c438"), reply = QByteArray::fromHex("020304092911d75769");
        // Bytes of their own in every row, as rows from the line have.
        QList<TrafficRow> rows;
        for (int i = 0; i < TrafficModel::kCapacity; ++i)
            rows.append({QDateTime::currentDateTime(), QByteArray(request.constData(), request.size()),
                         QByteArray(reply.constData(), reply.size()), 10.0, 20.0, judgeExchange(request, reply)});
        traffic->model()->append(rows);
        traffic->showLog();
    }
    runEventLoop(500); // the window (and the trend or the log) shown and painted

    PollingRecord record(kIntervalMs);
    // After the window's own slots: the tick has sent its request.
    QObject::connect(window.Timer2, &Timer::Tick, [&] { record.tick(); });
    QObject::connect(&window, &frmMain::valuesDecoded, [&] { record.decoded(); });
    window.txtTimerSet->setText(QString::number(kIntervalMs));
    record.begin(seconds);
    window.cmdOneM_Click();
    runEventLoop(seconds * 1000 + kIntervalMs / 2);
    window.cmdStopOnce_Click();
    record.end();
    runEventLoop(200); // the last answer
    record.print();
    std::printf("requests=%ld\n", window.lblCounter->text().toLong() - 1); // polling starts it at 1
    if (trend) {
        invoke(valueTools, "stopRecording");
        QFile file(csv); // its rows after the header
        std::printf("recorded_rows=%ld\n", file.open(QIODevice::ReadOnly) ? long(file.readAll().count('\n')) - 1 : -1);
    }
    if (traffic)
        std::printf("log_rows=%d\nlog_summary=%s\n", traffic->model()->rowCount(),
                    traffic->model()->summary().toUtf8().constData());
    if (trend || traffic)
        return 0;
    if (idleSeconds <= 0)
        return 0;

    // Open and not polling, a second after the last answer; no input since long before.
    runEventLoop(1000);
    const double cpu = cpuSeconds();
    const long woken = wakeUps();
    const Clock::time_point start = Clock::now();
    runEventLoop(idleSeconds * 1000);
    const double taken = ms(start, Clock::now()) / 1000;
    std::printf("idle_cpu_pct=%.4f\nidle_wakeups_per_s=%.2f\ntimer_stopped=%d\n", 100 * (cpuSeconds() - cpu) / taken,
                double(wakeUps() - woken) / taken, window.Timer2->isRunning() ? 0 : 1);
    return 0;
}
