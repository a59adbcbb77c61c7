// Start-up measured from outside: an X client that starts the real tool from a program directory
// (its own copy of the executable, comm.set naming COM1, the virtual module linked as COM1) and
// waits for the MapNotify of the tool's window on the root window. At that moment the stored port
// must be open: the tool's /proc/<pid>/fd holds the module's pty.
//
//   bench_startup [starts]     prints startup_ms_median=..., startup_ms_p99=..., port_open=N/M
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double rank(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const std::size_t r = std::size_t(std::ceil(q * double(v.size())));
    return v[std::min(v.size(), std::max<std::size_t>(r, 1)) - 1];
}

pid_t spawn(const std::vector<std::string> &args, int stdoutFd)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (stdoutFd >= 0)
            dup2(stdoutFd, STDOUT_FILENO);
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// The pty slave path the module prints on its first line.
std::string firstLine(int fd)
{
    std::string line;
    pollfd ready{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&ready, 1, 5000) > 0) {
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, std::size_t(n));
    }
    return line.substr(0, line.find('\n'));
}

bool holds(pid_t pid, const std::string &path)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) == path)
            return true;
    }
    return false;
}

long windowPid(Display *display, Window window)
{
    static const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) == Success
        && data && items == 1 && format == 32)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

struct Start
{
    double ms = -1;
    bool portOpen = false;
    int width = 0, height = 0;
};

// Starts the tool and waits for its window; the time from just before fork to the MapNotify.
Start startOnce(Display *display, const std::string &tool, const std::string &slave)
{
    Start result;
    XSync(display, True); // forget events of earlier starts
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn({tool}, -1);
    const int fd = ConnectionNumber(display);
    while (ms(start, Clock::now()) < 10000) {
        if (!XPending(display)) {
            pollfd ready{fd, POLLIN, 0};
            poll(&ready, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify)
            continue;
        const Clock::time_point mapped = Clock::now();
        if (windowPid(display, event.xmap.window) != pid)
            continue;
        result.ms = ms(start, mapped);
        result.portOpen = holds(pid, slave);
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, event.xmap.window, &attributes);
        result.width = attributes.width;
        result.height = attributes.height;
        break;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    const int starts = argc > 1 ? std::atoi(argv[1]) : 20;
    constexpr int kWarmUp = 2; // hot cache: the first starts only load files
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_startup: no X display (run under xvfb-run)\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    setenv("QT_QPA_PLATFORM", "xcb", 1); // the tool draws on this display, not offscreen

    char dirTemplate[] = "/tmp/kv4820-startup-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string tool = dir + "/kv4820-tool";
    fs::copy_file(KV_TOOL_PATH, tool);
    std::ofstream(dir + "/comm.set") << "1,19200\r\n";
    int out[2];
    if (pipe(out) != 0)
        return 1;
    const pid_t sim = spawn({KV_SIM_PATH, "--quiet", "--link", dir + "/COM1"}, out[1]);
    close(out[1]);
    const std::string slave = firstLine(out[0]);

    std::vector<double> times;
    int open = 0, failed = 0;
    std::string size;
    for (int i = 0; i < kWarmUp + starts; ++i) {
        const Start s = startOnce(display, tool, slave);
        if (i < kWarmUp)
            continue;
        if (s.ms < 0) {
            ++failed;
            continue;
        }
        times.push_back(s.ms);
        open += s.portOpen;
        size = std::to_string(s.width) + "x" + std::to_string(s.height);
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    close(out[0]);
    XCloseDisplay(display);
    fs::remove_all(dir);

    if (times.empty()) {
        std::fprintf(stderr, "bench_startup: the tool's window never mapped\n");
        return 1;
    }
    std::printf("startup_ms_median=%.1f\nstartup_ms_p99=%.1f\nstartup_ms_min=%.1f\nport_open=%d\nstarts=%zu\nfailed=%d\nwindow=%s\n",
                rank(times, 0.5), rank(times, 0.99), rank(times, 0), open, times.size(), failed, size.c_str());
    return failed ? 1 : 0;
}
