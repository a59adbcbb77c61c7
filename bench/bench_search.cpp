// The module search against the virtual module pacing its pty like a line: the time to find one
// module by the read-address request when it is at the last rate tried, and a whole address sweep at
// each rate, each beside the wire time of its tries. Prints key=value lines for scripts/bench.
//   bench_search [finds]    searches for the read-address figure (default 10)
#include "rig.h"
#include "search/searcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// The line's share of one try: request, answer and 3.5 characters of silence, at 11 bits a character.
double wireMs(int rate, int answerBytes) { return (8 + answerBytes + 3.5) * 11 * 1000 / rate; }

SearchPort com1(const VirtualModule &module)
{
    return {QStringLiteral("COM1"), 1, QDir(module.programDir()).filePath(QStringLiteral("COM1"))};
}

// From the start of the search to the find; a negative time when nothing was found in 60 s.
double timeToFind(Searcher &searcher, const SearchPort &port, int rateInForce, const QString &fromTry)
{
    QEventLoop loop;
    Clock::time_point from{}, at{};
    const auto tried = QObject::connect(&searcher, &Searcher::trying, [&](const QString &what) {
        if (from == Clock::time_point{} && what.endsWith(fromTry))
            from = Clock::now();
    });
    const auto found = QObject::connect(&searcher, &Searcher::found, [&] {
        at = Clock::now();
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    searcher.start({port}, rateInForce);
    loop.exec();
    searcher.stop();
    QObject::disconnect(tried);
    QObject::disconnect(found);
    return at == Clock::time_point{} ? -1 : ms(from, at);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int finds = argc > 1 ? std::atoi(argv[1]) : 10;

    {
        // Read address at 19200 and 9600 unanswered, at 38400 answered, then the confirming read.
        VirtualModule module(38400, {QStringLiteral("--address"), QStringLiteral("7"), QStringLiteral("--quiet")});
        if (!module.running())
            return 1;
        Searcher searcher(module.programDir());
        std::vector<double> times;
        for (int i = 0; i < finds; ++i)
            times.push_back(timeToFind(searcher, com1(module), 19200, QStringLiteral("19200, 读地址")));
        const double wire = wireMs(19200, 6) + wireMs(9600, 6) + wireMs(38400, 6) + wireMs(38400, 7);
        const double scheduled = Searcher::tryMs(19200, 6) + Searcher::tryMs(9600, 6) + Searcher::tryMs(38400, 6)
                               + Searcher::tryMs(38400, 7);
        std::printf("read_address_finds=%d\nread_address_median_ms=%.1f\nread_address_max_ms=%.1f\n"
                    "read_address_wire_ms=%.1f\nread_address_scheduled_ms=%.0f\n",
                    finds, rank(times, 0.5), rank(times, 1), wire, scheduled);
    }
    for (int rate : Searcher::kRates) {
        // A module at the last address that ignores the read-address request: the sweep at its rate
        // comes first and ends with the find.
        VirtualModule module(rate, {QStringLiteral("--address"), QStringLiteral("247"), QStringLiteral("--no-read-address"),
                                    QStringLiteral("--quiet")});
        if (!module.running())
            return 1;
        Searcher searcher(module.programDir());
        const double time = timeToFind(searcher, com1(module), rate, QStringLiteral(", 地址 1"));
        const int tries = Searcher::kLastAddress - Searcher::kFirstAddress + 1;
        std::printf("sweep_%d_ms=%.0f\nsweep_%d_wire_ms=%.0f\nsweep_%d_scheduled_ms=%d\n", rate, time, rate,
                    tries * wireMs(rate, 7), rate, tries * Searcher::tryMs(rate, 7));
        std::fflush(stdout);
    }
    return 0;
}
