// kv4820-sim: a virtual KV4820-7 module, a Modbus RTU slave on a pseudo-terminal or a serial device.
#include "simcore.h"
#include "simoptions.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleepUntil(std::int64_t ns)
{
    const timespec ts{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

speed_t speedOf(int baud) { return baud == 9600 ? B9600 : baud == 38400 ? B38400 : B19200; }

int baudOf(speed_t speed)
{
    switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

bool configure(int fd, int baud)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedOf(baud));
    cfsetospeed(&tio, speedOf(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

class Line
{
public:
    Line(int fd, int slave, const kvsim::Options &o) : m_fd(fd), m_slave(slave), m_char(kvsim::charTimeNs(o.baud)), m_split(o.split) {}
    bool isPty() const { return m_slave >= 0; }
    int fd() const { return m_fd; }
    std::int64_t charNs() const { return m_char; }

    // The rate the master set on the pty's slave side; 0 when unknown.
    int masterBaud() const
    {
        termios tio{};
        return isPty() && tcgetattr(m_slave, &tio) == 0 ? baudOf(cfgetospeed(&tio)) : 0;
    }

    // Sends bytes starting at start (monotonic ns); on a pty each byte is written when its last bit
    // would have left a real line. Returns when the last byte is out.
    void send(const kvsim::Bytes &bytes, std::int64_t start, bool allowSplit)
    {
        const std::size_t n = bytes.size(), half = allowSplit && m_split ? n / 2 : 0;
        const std::int64_t pause = 2 * m_char; // below the 3.5 characters that would end the frame
        if (!isPty()) {
            sleepUntil(start);
            write(bytes.data(), half ? half : n);
            if (half) {
                tcdrain(m_fd);
                sleepUntil(nowNs() + pause);
                write(bytes.data() + half, n - half);
            }
            tcdrain(m_fd);
            return;
        }
        if (half) {
            sleepUntil(start + std::int64_t(half) * m_char);
            write(bytes.data(), half);
            sleepUntil(start + std::int64_t(n) * m_char + pause);
            write(bytes.data() + half, n - half);
            return;
        }
        for (std::size_t i = 0; i < n; ++i) {
            sleepUntil(start + std::int64_t(i + 1) * m_char);
            write(bytes.data() + i, 1);
        }
    }

    // What the master sent, back at once: an adapter's receiver hears its own transmitter.
    void echo(const kvsim::Bytes &bytes) { write(bytes.data(), bytes.size()); }

private:
    void write(const std::uint8_t *data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t done = ::write(m_fd, data, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return; // nobody drains the pty: the bytes are lost, as on an open line
            data += done;
            size -= std::size_t(done);
        }
    }

    int m_fd, m_slave;
    std::int64_t m_char;
    bool m_split;
};

// Every module on the line sees the frame; when several answer at once, their bytes collide.
kvsim::Outcome handleOnBus(std::vector<kvsim::Module> &modules, const kvsim::Bytes &request, double seconds)
{
    std::vector<kvsim::Outcome> answers;
    kvsim::Outcome last;
    for (kvsim::Module &module : modules) {
        last = module.handle(request, seconds);
        if (last.answered)
            answers.push_back(last);
    }
    if (answers.size() == 1)
        return answers.front();
    if (answers.empty())
        return last;
    kvsim::Outcome out = answers.front();
    for (std::size_t i = 1; i < answers.size(); ++i)
        out.answer = kvsim::collide(out.answer, answers[i].answer);
    return out;
}

void log(const kvsim::Options &o, const kvsim::Bytes &request, const std::string &what)
{
    if (o.quiet)
        return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    const std::string bytes = request.empty() ? std::string() : kvsim::hex(request) + " ";
    std::fprintf(stderr, "%s.%03ld %s%s\n", stamp, ts.tv_nsec / 1'000'000, bytes.c_str(), what.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    const kvsim::Options o = kvsim::parseOptions(argc, argv);
    std::vector<kvsim::Module> modules;
    for (int address : o.addresses) {
        kvsim::Module module(o.seed);
        module.address = std::uint8_t(address);
        module.fixed = o.fixed;
        module.values = o.values;
        module.faulted = o.faulted;
        module.answersReadAddress = !o.ignoreReadAddress;
        modules.push_back(module);
    }

    int fd = -1, slave = -1;
    std::string path = o.device;
    if (o.device.empty()) {
        char name[256] = {};
        if (openpty(&fd, &slave, name, nullptr, nullptr) != 0) {
            std::perror("kv4820-sim: openpty");
            return 1;
        }
        path = name;
        configure(slave, o.baud); // a master that sets no rate gets the module's
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    } else {
        fd = open(o.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || !configure(fd, o.baud)) {
            std::fprintf(stderr, "kv4820-sim: cannot open %s: %s\n", o.device.c_str(), std::strerror(errno));
            return 1;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK); // reads only after poll; writes may wait
    }
    if (!o.link.empty()) {
        struct stat st{};
        if (lstat(o.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            unlink(o.link.c_str()); // a link left by an earlier run
        if (symlink(path.c_str(), o.link.c_str()) != 0) {
            std::fprintf(stderr, "kv4820-sim: cannot link %s: %s\n", o.link.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);

    // Signals stay blocked except inside ppoll, so a stop request cannot slip between check and wait.
    sigset_t stops, waiting;
    sigemptyset(&stops);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, s);
        std::signal(s, onSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigprocmask(SIG_BLOCK, &stops, &waiting);

    Line line(fd, slave, o);
    std::mt19937 faults(o.seed ^ 0x5eed5eedU);
    std::uniform_real_distribution<double> chance(0, 1);
    const std::int64_t started = nowNs(), gap = kvsim::frameGapNs(o.baud), charNs = line.charNs();
    const std::int64_t turnaround = std::llround((o.turnaroundMs + o.delayMs) * 1e6);
    kvsim::Bytes frame;
    std::int64_t frameStart = 0, wireEnd = 0, garbageAt = -1;

    while (!g_stop) {
        std::int64_t wakeAt = -1;
        if (!frame.empty())
            wakeAt = wireEnd + gap;
        else if (garbageAt >= 0)
            wakeAt = garbageAt;
        pollfd pfd{fd, POLLIN, 0};
        timespec timeout{}, *wait = nullptr;
        if (wakeAt >= 0) {
            const std::int64_t left = std::max<std::int64_t>(0, wakeAt - nowNs());
            timeout = {time_t(left / 1'000'000'000), long(left % 1'000'000'000)};
            wait = &timeout;
        }
        const int ready = ppoll(&pfd, 1, wait, &waiting);
        if (ready < 0 && errno != EINTR) {
            std::perror("kv4820-sim: poll");
            break;
        }
        const std::int64_t now = nowNs();
        if (ready > 0 && pfd.revents) {
            std::uint8_t buffer[512];
            const ssize_t n = (pfd.revents & POLLIN) ? read(fd, buffer, sizeof buffer) : 0;
            if (n > 0) {
                if (frame.empty())
                    frameStart = now;
                if (frame.size() < 1024) // an endless stream is never a frame; keep memory bounded
                    frame.insert(frame.end(), buffer, buffer + n);
                // On a pty the bytes come at once: count the time they would have taken on the line.
                wireEnd = line.isPty() ? std::max(now, frameStart + std::int64_t(frame.size()) * charNs) : now;
                garbageAt = -1; // a request is coming in: noise now would collide with it
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // Hang-up or EIO (the far side gone, a device unplugged): wait instead of spinning.
            const timespec pause{0, 100'000'000};
            ppoll(nullptr, 0, &pause, &waiting);
            continue;
        }
        if (!frame.empty() && now >= wireEnd + gap) {
            const kvsim::Bytes request = std::move(frame);
            frame.clear();
            if (o.echo)
                line.echo(request);
            const int masterBaud = line.masterBaud();
            if (masterBaud && masterBaud != o.baud) {
                log(o, request, "-- no answer: master at " + std::to_string(masterBaud) + " baud, module at " + std::to_string(o.baud));
                continue;
            }
            kvsim::Outcome out = handleOnBus(modules, request, double(now - started) / 1e9);
            if (!out.answered) {
                log(o, request, "-- no answer: " + out.why);
                continue;
            }
            if (o.drop > 0 && chance(faults) < o.drop) {
                log(o, request, "-- dropped");
                continue;
            }
            std::string note;
            if (o.corrupt > 0 && chance(faults) < o.corrupt) {
                const std::size_t at = std::uniform_int_distribution<std::size_t>(0, out.answer.size() - 1)(faults);
                out.answer[at] ^= std::uint8_t(1u << std::uniform_int_distribution<int>(0, 7)(faults));
                note = " (corrupted byte " + std::to_string(at) + ")";
            }
            line.send(out.answer, now + turnaround, true);
            log(o, request, "-> " + kvsim::hex(out.answer) + note + (o.split ? " (split)" : ""));
            // Well past the answer's end, so the master sees it as a frame of its own.
            if (o.garbage)
                garbageAt = nowNs() + std::max<std::int64_t>(3'000'000, 8 * charNs);
        } else if (garbageAt >= 0 && now >= garbageAt) {
            kvsim::Bytes noise(std::uniform_int_distribution<int>(3, 8)(faults));
            for (auto &b : noise)
                b = std::uint8_t(faults());
            garbageAt = -1;
            line.send(noise, now, false);
            log(o, {}, "noise " + kvsim::hex(noise));
        }
    }

    if (!o.link.empty()) {
        char target[4096] = {};
        const ssize_t n = readlink(o.link.c_str(), target, sizeof target - 1);
        if (n > 0 && path == std::string(target, std::size_t(n)))
            unlink(o.link.c_str());
    }
    close(fd);
    if (slave >= 0)
        close(slave);
    return 0;
}
