#pragma once
// What the benchmarks share: the virtual module as a child process beside a program directory, the
// process's own CPU and memory, and the record of a stretch of polling that each poller prints.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point from, Clock::time_point to);

// Nearest-rank percentile, q in 0..1; 0 for no samples.
double rank(std::vector<double> samples, double q);

// kv4820-sim at baud on a pty of its own, linked as COM1 into a temporary program directory whose
// comm.set names COM1 at that rate; stopped on destruction.
class VirtualModule
{
public:
    VirtualModule(int baud, const QStringList &options);
    ~VirtualModule();

    bool running() const { return !m_slavePath.empty(); }
    QString programDir() const { return m_dir.path(); }
    const std::string &slavePath() const { return m_slavePath; }

private:
    QTemporaryDir m_dir;
    QProcess m_sim;
    std::string m_slavePath;
};

// This process's processor time so far (its own code and the kernel's for it), in seconds.
double cpuSeconds();
// The times this process has gone to sleep and been woken (voluntary context switches).
long wakeUps();
double residentMb();

void runEventLoop(int ms);

// One stretch of polling: ticks against their schedule, decodes, CPU, wake-ups and resident memory.
class PollingRecord
{
public:
    explicit PollingRecord(int intervalMs) : m_intervalMs(intervalMs) {}
    void begin(int seconds); // just before polling starts, for about that long
    void tick();
    void decoded() { ++m_decoded; }
    void end(); // just after polling stops
    // Prints key=value lines for scripts/bench.
    void print() const;

private:
    int m_intervalMs;
    Clock::time_point m_start, m_end;
    double m_cpu = 0;
    long m_wakeUps = 0, m_decoded = 0;
    std::vector<Clock::time_point> m_ticks;
    std::vector<std::pair<double, double>> m_memory; // seconds since the start, resident MB
};
