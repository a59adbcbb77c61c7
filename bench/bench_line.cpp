// The window against the virtual module pacing a real line: one read of ten registers from the click
// to the ten boxes written, next to libmodbus doing the same read on the same pty in the same run;
// then a minute of polling at 50 ms and ten seconds open and idle, and bare Qt polling the same way
// as the floor of its CPU.
#include "modbus/codec.h"
#include "polling/Timer.h"
#include "response/decode.h"
#include "rig.h"
#include "serial/MSComm.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <modbus/modbus.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sys/syscall.h>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 10> kValues{2150, 4520, 2230, 4810, 1990, 5120, 2075, 4650, 2310, 4400};
constexpr double kTurnaroundMs = 2; // the simulator's default

std::string valueList()
{
    std::string list;
    for (int v : kValues)
        list += (list.empty() ? "" : ",") + std::to_string(v);
    return list;
}

double charMs(int baud) { return 11.0 * 1000 / baud; }
// The silence that must pass after a request before a slave may take it as complete.
double silenceMs(int baud) { return baud > 19200 ? 1.75 : 3.5 * charMs(baud); }

double ms(Clock::time_point from, Clock::time_point to) { return micros(from, to) / 1000; }

int noBox(const MessageBoxRequest &) { return 0; }

std::vector<std::string> withBaud(std::vector<std::string> options, int baud)
{
    options.insert(options.end(), {"--baud", std::to_string(baud)});
    return options;
}

// One read cut at the request's write and the answer's last read: what the reader does before
// the line, the line with the module, and what the reader does after.
struct Split
{
    double before = 0, line = 0, after = 0;
    static Split of(Clock::time_point start, Clock::time_point end)
    {
        const LineStamps s = lineStamps();
        return {ms(start, s.lastWrite), ms(s.lastWrite, s.lastRead), ms(s.lastRead, end)};
    }
};

struct WindowOnSim
{
    ProgramDir dir;
    Simulator sim;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<DecodeWatch> watch;

    WindowOnSim(int baud, std::vector<std::string> options, const std::string &log = {})
        : dir(baud), sim(withBaud(std::move(options), baud), dir.comLink(), log)
    {
        if (!sim.isRunning())
            return;
        const std::set<int> before = descriptorsOn(sim.slavePath());
        window = std::make_unique<frmMain>(dir.path(), noBox);
        watchLine(newDescriptorOn(sim.slavePath(), before));
        window->show();
        watch = std::make_unique<DecodeWatch>(*window);
    }
    bool ready() const { return window && window->MSComm1->PortOpen(); }

    // Opens the window's port again, watching its new descriptor.
    void reopen()
    {
        const std::set<int> before = descriptorsOn(sim.slavePath());
        window->MSComm1->setPortOpen(true);
        watchLine(newDescriptorOn(sim.slavePath(), before));
    }

    // One read from the click to the ten boxes decoded; milliseconds, or -1 without a decode.
    double read(Split *split = nullptr)
    {
        QCoreApplication::processEvents(); // what the last answer left to paint, as before a real click
        watch->arm();
        const Clock::time_point click = Clock::now();
        window->comDoOnce_Click();
        if (!watch->wait(2000))
            return -1;
        if (split)
            *split = Split::of(click, watch->decodedAt());
        return ms(click, watch->decodedAt());
    }

    bool showsValues() const
    {
        for (int i = 0; i < 10; ++i)
            if (window->txtValue[i]->text() != registerText(quint16(kValues[i])))
                return false;
        return true;
    }
};

// Tool and libmodbus take turns in blocks, so a burst of load elsewhere hits both alike.
void BM_Read(benchmark::State &state)
{
    const int baud = int(state.range(0));
    constexpr int kBlock = 25;
    WindowOnSim rig(baud, {"--values", valueList(), "--quiet"});
    if (!rig.ready()) {
        state.SkipWithError("window could not open the simulator's port");
        return;
    }
    modbus_t *ctx = modbus_new_rtu(rig.sim.slavePath().c_str(), baud, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    for (int i = 0; i < 3; ++i)
        rig.read();

    std::vector<double> tool, peer;
    std::vector<Split> toolSplit, peerSplit;
    long wrong = 0, iteration = 0;
    bool peerTurn = false;
    for (auto _ : state) {
        const bool wantPeer = (iteration++ / kBlock) % 2 == 1;
        if (wantPeer != peerTurn) {
            peerTurn = wantPeer;
            if (peerTurn) {
                // One reader on the line: the window lets go of the port while libmodbus has it.
                rig.window->MSComm1->setPortOpen(false);
                if (modbus_connect(ctx) != 0) {
                    state.SkipWithError("libmodbus could not open the pty");
                    break;
                }
                watchLine(modbus_get_socket(ctx));
            } else {
                modbus_close(ctx);
                rig.reopen();
            }
        }
        double taken;
        if (peerTurn) {
            std::array<uint16_t, 10> registers{};
            const Clock::time_point start = Clock::now();
            const int got = modbus_read_registers(ctx, 0, 10, registers.data());
            const Clock::time_point end = Clock::now();
            taken = ms(start, end);
            peerSplit.push_back(Split::of(start, end));
            for (int i = 0; i < 10; ++i)
                wrong += got != 10 || registers[std::size_t(i)] != kValues[std::size_t(i)];
            peer.push_back(taken);
        } else {
            Split split;
            taken = rig.read(&split);
            toolSplit.push_back(split);
            if (taken < 0) {
                state.SkipWithError("the window decoded no answer");
                break;
            }
            wrong += !rig.showsValues();
            tool.push_back(taken);
        }
        state.SetIterationTime(taken / 1000);
    }
    if (peerTurn)
        modbus_close(ctx);
    modbus_free(ctx);
    if (wrong)
        state.SkipWithError("a read returned other values than the module's");

    const Percentiles t = percentiles(tool), p = percentiles(peer);
    state.counters["tool_ms_median"] = t.median;
    state.counters["tool_ms_p99"] = t.p99;
    state.counters["libmodbus_ms_median"] = p.median;
    state.counters["libmodbus_ms_p99"] = p.p99;
    state.counters["ratio_median"] = p.median > 0 ? t.median / p.median : 0;
    const auto medians = [&](const std::vector<Split> &splits, const std::string &who) {
        std::vector<double> before, line, after;
        for (const Split &s : splits) {
            before.push_back(s.before);
            line.push_back(s.line);
            after.push_back(s.after);
        }
        state.counters[who + "_before_ms"] = percentiles(before).median;
        state.counters[who + "_line_ms"] = percentiles(line).median;
        state.counters[who + "_after_ms"] = percentiles(after).median;
    };
    medians(toolSplit, "tool");
    medians(peerSplit, "libmodbus");
    state.counters["wire_ms"] = 33 * charMs(baud);
    state.counters["turnaround_ms"] = kTurnaroundMs;
    state.counters["silence_ms"] = silenceMs(baud);
}

// This process's processor time, in the program's own code and in the kernel on its behalf.
struct CpuSeconds
{
    double user = 0, system = 0;
};

CpuSeconds cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return {double(use.ru_utime.tv_sec) + double(use.ru_utime.tv_usec) / 1e6,
            double(use.ru_stime.tv_sec) + double(use.ru_stime.tv_usec) / 1e6};
}

long voluntarySwitches()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_nvcsw;
}

// A stretch of polling: when it started (set before the polling begins, so its ticks can read it) and
// ended, and the process's CPU and wake-ups over it.
struct PollingStretch
{
    Clock::time_point start, end;
    CpuSeconds cpu;
    long switches = 0;
    double seconds() const { return ms(start, end) / 1000; }
};

// begin() starts polling at intervalMs, the event loop runs for seconds and half an interval (past
// the last tick), then finish() stops it.
void pollFor(PollingStretch &stretch, int seconds, int intervalMs, const std::function<void()> &begin,
             const std::function<void()> &finish)
{
    const CpuSeconds before = cpuSeconds();
    const long switchesBefore = voluntarySwitches();
    stretch.start = Clock::now();
    begin();
    runEventLoop(seconds * 1000 + intervalMs / 2);
    finish();
    stretch.end = Clock::now();
    const CpuSeconds after = cpuSeconds();
    stretch.switches = voluntarySwitches() - switchesBefore;
    stretch.cpu = {after.user - before.user, after.system - before.system};
}

// The process's CPU over a stretch of polling, as % of one core, and its wake-ups per exchange.
void reportPollingUse(benchmark::State &state, const PollingStretch &stretch, long exchanges)
{
    const double seconds = stretch.seconds();
    state.counters["cpu_pct"] = 100 * (stretch.cpu.user + stretch.cpu.system) / seconds;
    state.counters["cpu_user_pct"] = 100 * stretch.cpu.user / seconds;
    state.counters["cpu_system_pct"] = 100 * stretch.cpu.system / seconds;
    state.counters["wakeups_per_exchange"] = exchanges ? double(stretch.switches) / double(exchanges) : 0;
}

// What the scheduler counts for one thread of this process: the time it ran and the times it gave up
// the processor (each sleep, so each wake-up after it).
struct ThreadUse
{
    double cpuSeconds = 0;
    long wakeUps = 0;
};

ThreadUse threadUse(long tid)
{
    ThreadUse use;
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    std::ifstream schedstat(task + "/schedstat");
    long long ranNs = 0;
    if (schedstat >> ranNs)
        use.cpuSeconds = double(ranNs) / 1e9;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            use.wakeUps = std::stol(line.substr(line.find(':') + 1));
    return use;
}

double residentMb()
{
    long size = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> size >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// How late each tick came, in ms, against start + k·interval: late ticks must not push the next ones.
// Each tick belongs to the last slot of the schedule at or before it; a slot without one is a tick the
// timer skipped because it came too soon after a late one (counted in skipped).
std::vector<double> tickLateness(Clock::time_point start, const std::vector<Clock::time_point> &ticks, int intervalMs,
                                 long *skipped = nullptr)
{
    std::vector<double> lateness;
    long slot = 0;
    for (const Clock::time_point &tick : ticks) {
        slot = std::max(slot + 1, long(ms(start, tick) / intervalMs));
        lateness.push_back(ms(start + std::chrono::milliseconds(intervalMs * slot), tick));
    }
    if (skipped)
        *skipped = slot - long(ticks.size());
    return lateness;
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The machine's own floor for tick lateness: the same timer at 50 ms for 30 s with nothing else to do
// (no window, no line), so the polling figure can be read against what the system gives a bare timer.
void BM_TimerFloor(benchmark::State &state)
{
    constexpr int kIntervalMs = 50, kTicks = 600;
    for (auto _ : state) {
        Timer timer;
        QEventLoop loop;
        std::vector<Clock::time_point> ticks;
        const Clock::time_point start = Clock::now();
        QObject::connect(&timer, &Timer::Tick, [&] {
            ticks.push_back(Clock::now());
            if (ticks.size() == kTicks)
                loop.quit();
        });
        timer.setInterval(kIntervalMs);
        timer.setEnabled(true);
        loop.exec();
        const std::vector<double> lateness = tickLateness(start, ticks, kIntervalMs);
        const Percentiles p = percentiles(lateness);
        state.counters["floor_late_median_ms"] = p.median;
        state.counters["floor_late_p99_ms"] = p.p99;
        state.counters["floor_late_max_ms"] = maxOf(lateness);
        state.SetIterationTime(ms(start, Clock::now()) / 1000);
    }
}

// A minute of polling at 50 ms against the module at 19200 (drifting values, so texts change now
// and then), then ten seconds open and not polling.
void BM_Polling(benchmark::State &state)
{
    constexpr int kIntervalMs = 50, kIdleSeconds = 10;
    // KV_BENCH_POLL_SECONDS shortens the minute for a quick look; the figures are for 60.
    const int kSeconds = qEnvironmentVariableIntValue("KV_BENCH_POLL_SECONDS") > 20 ? qEnvironmentVariableIntValue("KV_BENCH_POLL_SECONDS") : 60;
    QTemporaryDir logDir;
    const std::string log = logDir.filePath(QStringLiteral("sim.log")).toStdString();
    WindowOnSim rig(19200, {}, log);
    if (!rig.ready()) {
        state.SkipWithError("window could not open the simulator's port");
        return;
    }
    frmMain &w = *rig.window;
    rig.read(); // the first exchange on a fresh port, as a user's first look would be

    for (auto _ : state) {
        std::vector<Clock::time_point> ticks;
        std::vector<std::pair<double, double>> memory; // seconds since start, resident MB
        PollingStretch polled;
        ticks.reserve(kSeconds * 1000 / kIntervalMs + 10);
        const QMetaObject::Connection onTick = QObject::connect(w.Timer2, &Timer::Tick, [&] {
            // Runs after the window's own handler: the click has turned the boxes red.
            ticks.push_back(Clock::now());
            if (allBoxesRed(w))
                rig.watch->arm();
            if (ticks.size() % 20 == 0)
                memory.emplace_back(ms(polled.start, ticks.back()) / 1000, residentMb());
        });
        const long decodedBefore = rig.watch->decodes();
        w.txtTimerSet->setText(QString::number(kIntervalMs));
        pollFor(polled, kSeconds, kIntervalMs, [&] { w.cmdOneM_Click(); }, [&] { w.cmdStopOnce_Click(); });
        runEventLoop(200); // the last answer
        QObject::disconnect(onTick);

        long skipped = 0;
        const std::vector<double> lateness = tickLateness(polled.start, ticks, kIntervalMs, &skipped);
        double firstMb = 0, lastMb = 0;
        for (const auto &[at, mb] : memory) {
            if (at <= 10)
                firstMb = std::max(firstMb, mb);
            if (at > kSeconds - 10)
                lastMb = std::max(lastMb, mb);
        }
        long simRequests = 0, simAnswers = 0;
        std::ifstream simLog(log);
        for (std::string line; std::getline(simLog, line);) {
            simRequests += line.find(" 01 03 00 00 00 0A ") != std::string::npos;
            simAnswers += line.find(" -> ") != std::string::npos;
        }

        state.counters["ticks"] = double(ticks.size());
        state.counters["ticks_skipped"] = double(skipped);
        state.counters["requests_lblCounter"] = w.lblCounter->text().toDouble() - 1; // it starts at 1
        state.counters["decoded"] = double(rig.watch->decodes() - decodedBefore);
        // The simulator's log, less the read before polling.
        state.counters["sim_requests"] = double(simRequests - 1);
        state.counters["sim_answers"] = double(simAnswers - 1);
        state.counters["late_max_ms"] = maxOf(lateness);
        // Whether the late ticks are a start-up cost or the machine's passing stalls.
        if (!lateness.empty()) {
            const auto worst = std::max_element(lateness.begin(), lateness.end());
            state.counters["late_max_at_s"] = ms(polled.start, ticks[std::size_t(worst - lateness.begin())]) / 1000;
            state.counters["late_over_5ms"] = double(std::count_if(lateness.begin(), lateness.end(), [](double late) { return late > 5; }));
        }
        state.counters["late_p99_ms"] = percentiles(lateness).p99;
        state.counters["late_median_ms"] = percentiles(lateness).median;
        state.counters["drift_ms"] = lateness.empty() ? 0 : lateness.back();
        reportPollingUse(state, polled, long(ticks.size()));
        state.counters["rss_first10s_mb"] = firstMb;
        state.counters["rss_last10s_mb"] = lastMb;
        state.counters["timer_stopped"] = w.Timer2->isRunning() ? 0 : 1;

        // A real click into the interval box is the user's last input: for ten seconds its caret
        // blinks, then the tool stops it. The ten seconds after that are the window left open.
        QTest::mouseClick(w.txtTimerSet, Qt::LeftButton);
        // The window's thread is read by a helper thread while it sleeps: the timer that ends the
        // event loop is the benchmark's and wakes it only after the second reading.
        const long windowThread = long(syscall(SYS_gettid));
        auto idleFor = [&](const char *cpuKey, const char *wakeKey) {
            ThreadUse first, last;
            double wall = 0;
            std::thread reader([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                first = threadUse(windowThread);
                const Clock::time_point wallStart = Clock::now();
                std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
                last = threadUse(windowThread);
                wall = ms(wallStart, Clock::now()) / 1000;
            });
            runEventLoop(kIdleSeconds * 1000 + 300);
            reader.join();
            state.counters[cpuKey] = 100 * (last.cpuSeconds - first.cpuSeconds) / wall;
            state.counters[wakeKey] = double(last.wakeUps - first.wakeUps) / wall;
        };
        idleFor("idle_blinking_cpu_pct", "idle_blinking_wakeups_per_s");
        runEventLoop(500);
        idleFor("idle_cpu_pct", "idle_wakeups_per_s");
        if (QWidget *focus = QApplication::focusWidget())
            std::fprintf(stderr, "bench_line: the focus is in %s\n", qPrintable(focus->objectName()));
        state.SetIterationTime(polled.seconds());
    }
}

// Polling at 50 ms a module whose values hold still, as a module's registers do between its
// measurements: the same answer comes again and again. CPU only; the minute above has the rest.
void BM_SteadyPolling(benchmark::State &state)
{
    constexpr int kIntervalMs = 50, kSeconds = 30;
    WindowOnSim rig(19200, {"--values", valueList(), "--quiet"});
    if (!rig.ready()) {
        state.SkipWithError("window could not open the simulator's port");
        return;
    }
    frmMain &w = *rig.window;
    rig.read();
    for (auto _ : state) {
        long ticks = 0;
        const QMetaObject::Connection onTick = QObject::connect(w.Timer2, &Timer::Tick, [&] {
            ++ticks;
            if (allBoxesRed(w))
                rig.watch->arm(); // the decode of this tick's answer is counted
        });
        w.txtTimerSet->setText(QString::number(kIntervalMs));
        const long decodedBefore = rig.watch->decodes();
        PollingStretch polled;
        pollFor(polled, kSeconds, kIntervalMs, [&] { w.cmdOneM_Click(); }, [&] { w.cmdStopOnce_Click(); });
        runEventLoop(200);
        QObject::disconnect(onTick);
        state.counters["ticks"] = double(ticks);
        state.counters["decoded"] = double(rig.watch->decodes() - decodedBefore);
        reportPollingUse(state, polled, ticks);
        state.SetIterationTime(polled.seconds());
    }
}

// What any Qt program pays here for the same polling, as a floor for the tool's CPU: a bare
// QSerialPort and QTimer at 50 ms against the same drifting module for 30 s, checking each answer's
// CRC; with window:1 also ten plain QLineEdits shown and given the ten values, and with red:1 turned
// red at each tick and black with the values, as the tool's boxes do. whole:0 reads each
// byte as it comes; whole:1 stops reading at the first byte and takes the rest in one piece one to
// two milliseconds after it can all be there (the tick, the first byte, the resume: fewer wake-ups
// than any reader that looks at the answer while it comes can have). None of the window's or the
// port adapter's code runs.
void BM_PollingFloor(benchmark::State &state)
{
    constexpr int kIntervalMs = 50, kSeconds = 30;
    const bool withWindow = state.range(0) != 0, inOnePiece = state.range(1) != 0, turnsRed = state.range(2) != 0;
    // From the answer's first byte to a millisecond or two after its last can be there.
    const int restOfAnswerMs = int((kReadTenAnswerLength - 1) * charMs(19200)) + 2;
    ProgramDir dir(19200);
    Simulator sim(withBaud({"--quiet"}, 19200), dir.comLink());
    QSerialPort port(QString::fromStdString(sim.slavePath()));
    port.setBaudRate(19200);
    if (!sim.isRunning() || !port.open(QIODevice::ReadWrite)) {
        state.SkipWithError("could not open the simulator's port");
        return;
    }
    std::optional<PlainBoxes> boxes;
    if (withWindow) {
        boxes.emplace();
        runEventLoop(300);
    }
    const QByteArray request = readTenRequest();

    for (auto _ : state) {
        long ticks = 0, decodes = 0;
        bool paused = false; // the first byte waits in the port's buffer until the rest is there
        QByteArray answer;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            answer.clear();
            port.clear(QSerialPort::Input);
            port.write(request);
            if (boxes && turnsRed)
                boxes->turnRed();
            if (inOnePiece) {
                paused = true;
                port.setReadBufferSize(1); // the first byte read stops the notifications
            }
        });
        QObject::connect(&port, &QSerialPort::readyRead, [&] {
            if (paused) {
                QTimer::singleShot(restOfAnswerMs, Qt::PreciseTimer, &port, [&] {
                    paused = false;
                    port.setReadBufferSize(0);
                });
                return;
            }
            answer += port.readAll();
            if (!answerCrcMatches(answer, kReadTenAnswerLength))
                return;
            ++decodes;
            if (boxes)
                boxes->show(answer);
            answer.clear();
        });
        PollingStretch polled;
        pollFor(polled, kSeconds, kIntervalMs, [&] { timer.start(kIntervalMs); }, [&] { timer.stop(); });
        runEventLoop(200);
        port.disconnect();
        state.counters["ticks"] = double(ticks);
        state.counters["decoded"] = double(decodes);
        reportPollingUse(state, polled, ticks);
        state.SetIterationTime(polled.seconds());
    }
}

} // namespace

BENCHMARK(BM_Read)->ArgName("baud")->Arg(9600)->Arg(19200)->Arg(38400)->Iterations(400)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerFloor)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Polling)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SteadyPolling)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PollingFloor)
    ->ArgNames({"window", "whole", "red"})
    ->Args({0, 0, 0})->Args({1, 0, 0})->Args({0, 1, 0})->Args({1, 1, 0})->Args({1, 1, 1})
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
