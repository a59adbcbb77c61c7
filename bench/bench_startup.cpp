// Start-up measured from outside: an X client starts a copy of the tool in the virtual module's
// program directory (comm.set names COM1, the module linked there) and waits for the MapNotify of
// the tool's window. At that moment the stored port must be open: /proc/<pid>/fd holds the pty.
//   bench_startup [starts]     prints startup_ms_median=..., startup_ms_p99=..., port_open=N
#include "rig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <X11/Xlib.h> // after Qt's headers: its macros would clash with their names

#include <cstdio>
#include <cstdlib>
#include <poll.h>

namespace {

bool holds(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}

// From just before the start to the first MapNotify on the display, which only the tool's window
// makes; -1 when none came within 10 s.
double startOnce(Display *display, const QString &tool, const QString &slave, bool &portOpen)
{
    XSync(display, True); // forget the events of earlier starts
    QProcess process;
    const Clock::time_point start = Clock::now();
    process.start(tool, {});
    double taken = -1;
    while (taken < 0 && ms(start, Clock::now()) < 10000) {
        if (!XPending(display)) {
            pollfd ready{ConnectionNumber(display), POLLIN, 0};
            poll(&ready, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            taken = ms(start, Clock::now());
            portOpen = holds(process.processId(), slave);
        }
    }
    process.terminate();
    process.waitForFinished();
    return taken;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int starts = argc > 1 ? std::atoi(argv[1]) : 20, warmUp = 2; // the first starts load files
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_startup: no X display (run under xvfb-run)\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    qputenv("QT_QPA_PLATFORM", "xcb"); // the tool draws on this display

    VirtualModule module(19200, {QStringLiteral("--quiet")});
    const QString tool = QDir(module.programDir()).filePath(QStringLiteral("kv4820-tool"));
    if (!module.running() || !QFile::copy(QStringLiteral(KV_TOOL_PATH), tool))
        return 1;
    const QString slave = QString::fromStdString(module.slavePath());
    std::vector<double> times;
    int open = 0;
    for (int i = 0; i < warmUp + starts; ++i) {
        bool portOpen = false;
        const double taken = startOnce(display, tool, slave, portOpen);
        if (i >= warmUp && taken >= 0) {
            times.push_back(taken);
            open += portOpen;
        }
    }
    XCloseDisplay(display);
    if (times.empty()) {
        std::fprintf(stderr, "bench_startup: the tool's window never mapped\n");
        return 1;
    }
    std::printf("startup_ms_median=%.1f\nstartup_ms_p99=%.1f\nport_open=%d\nstarts=%zu\nfailed=%zu\n",
                rank(times, 0.5), rank(times, 0.99), open, times.size(), std::size_t(starts) - times.size());
    return times.size() == std::size_t(starts) ? 0 : 1;
}
