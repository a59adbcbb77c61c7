// kv4820 read as a whole process (start, open, one read of ten registers, print, exit) beside
// Debian's mbpoll reading the same registers once, on the same virtual module at 19200 baud, in turns.
// Prints key=value lines for scripts/bench.
//   bench_cli [runs]    runs of each (default 100), after 5 warm-ups of each
#include "rig.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const char kValues[] = "2150,4520,2230,4810,1990,5120,2075,4650,2310,4400";

// Runs program with arguments, its standard output kept; the wall time from the spawn to the wait's
// return, or -1 when it failed or its output lacks every one of wanted.
double timedRun(const std::vector<std::string> &command, const std::vector<std::string> &wanted)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char *> argv;
    for (const std::string &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    close(out[0]);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    const double took = ms(start, Clock::now());
    for (const std::string &part : wanted)
        if (text.find(part) == std::string::npos)
            return -1;
    return took;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::string mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll")).toStdString();
    if (mbpoll.empty()) {
        std::printf("mbpoll=missing\n");
        return 1;
    }
    VirtualModule module(19200, {QStringLiteral("--values"), QString::fromLatin1(kValues), QStringLiteral("--quiet")});
    if (!module.running())
        return 1;
    const std::string pty = module.slavePath();
    const std::vector<std::string> cli{KV_CLI_PATH, "read", "-p", pty, "-b", "19200"};
    const std::vector<std::string> master{mbpoll, "-m", "rtu", "-b", "19200", "-P", "none", "-a", "1", "-r", "1", "-c", "10", "-1", pty};
    // The first and the last of the ten values, as each prints them.
    const std::vector<std::string> cliWants{"1#温度值\t21.50\t℃", "5#湿度值\t44.00\t%RH"}, masterWants{"[1]: \t2150", "[10]: \t4400"};

    std::vector<double> cliMs, masterMs;
    int failures = 0;
    for (int round = -5; round < runs; ++round) {
        // Each goes first every other round, so a slower stretch of the machine hits both alike.
        double a, b;
        if (round % 2 == 0) {
            a = timedRun(cli, cliWants);
            b = timedRun(master, masterWants);
        } else {
            b = timedRun(master, masterWants);
            a = timedRun(cli, cliWants);
        }
        failures += (a < 0) + (b < 0);
        if (round >= 0 && a >= 0 && b >= 0) {
            cliMs.push_back(a);
            masterMs.push_back(b);
        }
    }
    // The line: request and answer (8 + 25 bytes of 11 bits), the module's 3.5 characters of silence
    // that end the request and its 2 ms turnaround.
    const double lineMs = 33 * 11 * 1000.0 / 19200 + 3.5 * 11 * 1000.0 / 19200 + 2;
    std::printf("runs=%zu\nfailures=%d\nline_ms=%.2f\n", cliMs.size(), failures, lineMs);
    std::printf("cli_median_ms=%.2f\ncli_p90_ms=%.2f\n", rank(cliMs, 0.5), rank(cliMs, 0.9));
    std::printf("mbpoll_median_ms=%.2f\nmbpoll_p90_ms=%.2f\n", rank(masterMs, 0.5), rank(masterMs, 0.9));
    std::printf("ratio=%.3f\n", rank(cliMs, 0.5) / rank(masterMs, 0.5));
    return failures == 0 ? 0 : 1;
}
