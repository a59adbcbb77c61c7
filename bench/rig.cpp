#include "rig.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

double ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double rank(std::vector<double> samples, double q)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto r = std::size_t(std::ceil(q * double(samples.size())));
    return samples[std::clamp<std::size_t>(r, 1, samples.size()) - 1];
}

VirtualModule::VirtualModule(int baud, const QStringList &options)
{
    QFile set(m_dir.filePath(QStringLiteral("comm.set")));
    if (!set.open(QIODevice::WriteOnly) || set.write("1," + QByteArray::number(baud) + "\r\n") < 0)
        return;
    set.close();
    const QStringList line{QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--link"),
                           m_dir.filePath(QStringLiteral("COM1"))};
    m_sim.setStandardErrorFile(QProcess::nullDevice()); // its log of frames is not wanted here
    m_sim.start(QStringLiteral(KV_SIM_PATH), line + options);
    // Its first line is the pty's slave path; the link exists once it is printed.
    while (!m_sim.canReadLine() && m_sim.waitForReadyRead(5000)) {
    }
    m_slavePath = m_sim.readLine().trimmed().toStdString();
    if (m_slavePath.empty())
        std::fprintf(stderr, "bench: kv4820-sim did not start\n");
}

VirtualModule::~VirtualModule()
{
    m_sim.terminate();
    m_sim.waitForFinished();
}

namespace {

rusage use()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u;
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

} // namespace

double cpuSeconds()
{
    const rusage u = use();
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

long wakeUps()
{
    return use().ru_nvcsw;
}

double residentMb()
{
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void PollingRecord::begin(int seconds)
{
    // Room for the whole run, its pages touched now: the record growing would show in the resident
    // size it samples (a megabyte an hour).
    m_ticks.resize(std::size_t(seconds) * 1000 / std::size_t(m_intervalMs) + 100);
    m_ticks.clear();
    m_memory.resize(std::size_t(seconds) + 10);
    m_memory.clear();
    m_cpu = cpuSeconds();
    m_wakeUps = wakeUps();
    m_start = Clock::now();
}

void PollingRecord::tick()
{
    m_ticks.push_back(Clock::now());
    if (m_ticks.size() % std::size_t(1000 / m_intervalMs) == 0)
        m_memory.emplace_back(ms(m_start, m_ticks.back()) / 1000, residentMb());
}

void PollingRecord::end()
{
    m_end = Clock::now();
    m_cpu = cpuSeconds() - m_cpu;
    m_wakeUps = wakeUps() - m_wakeUps;
}

void PollingRecord::print() const
{
    // Each tick against the last slot of the schedule (start + k·interval) at or before it, so a late
    // tick does not make the next ones late; a slot without a tick is one the timer skipped.
    std::vector<double> late;
    long slot = 0;
    for (const Clock::time_point &tick : m_ticks) {
        slot = std::max(slot + 1, long(ms(m_start, tick) / m_intervalMs));
        late.push_back(ms(m_start, tick) - double(slot * m_intervalMs));
    }
    const double total = ms(m_start, m_end) / 1000;
    double firstMb = 0, lastMb = 0;
    for (const auto &[at, mb] : m_memory) {
        if (at <= 10)
            firstMb = std::max(firstMb, mb);
        if (at > total - 10)
            lastMb = std::max(lastMb, mb);
    }
    std::printf("seconds=%.2f\nticks=%zu\nskipped=%ld\ndecoded=%ld\n", total, m_ticks.size(),
                slot - long(m_ticks.size()), m_decoded);
    std::printf("late_median_ms=%.2f\nlate_p99_ms=%.2f\nlate_max_ms=%.2f\ndrift_ms=%.2f\n", rank(late, 0.5),
                rank(late, 0.99), rank(late, 1), late.empty() ? 0 : late.back());
    // The largest resident size of each minute, for the long runs.
    std::vector<double> minutes;
    for (const auto &[at, mb] : m_memory) {
        const std::size_t minute = std::size_t(at / 60);
        if (minutes.size() <= minute)
            minutes.resize(minute + 1, 0);
        minutes[minute] = std::max(minutes[minute], mb);
    }
    std::printf("rss_per_minute_mb=");
    for (std::size_t i = 0; i < minutes.size(); ++i)
        std::printf("%s%.1f", i ? "," : "", minutes[i]);
    std::printf("\n");
    std::printf("cpu_pct=%.3f\nwakeups_per_tick=%.1f\nrss_first_mb=%.1f\nrss_last_mb=%.1f\n", 100 * m_cpu / total,
                m_ticks.empty() ? 0 : double(m_wakeUps) / double(m_ticks.size()), firstMb, lastMb);
}
