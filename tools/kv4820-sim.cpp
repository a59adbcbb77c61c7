// kv4820-sim: a virtual KV4820-7 module, a Modbus RTU slave on a pseudo-terminal or a serial device.
#include "simcore.h"

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

const char kHelp[] = R"(Usage: kv4820-sim [options]
A virtual KV4820-7 module: a Modbus RTU slave answering like the module, for trying the tool without
hardware. By default it creates a pseudo-terminal pair and prints the path of its slave side (one line
on stdout); the tool, or any Modbus master, opens that path. Runs until SIGINT/SIGTERM.

Line:
  --link DIR/COMn    also make DIR/COMn a symbolic link to the slave side (removed on exit)
  --device PATH      serve a real serial device (e.g. a USB RS-485 adapter) instead of a pty
  --baud N           9600, 19200 or 38400 (default 19200), 8 data bits, no parity, 1 stop bit.
                     On a pty, frames from a master that set another rate are ignored, as a real
                     line would garble them, and request and answer take their wire time.
  --address N        Modbus address 1..247 (default 1)
Measurements (registers 0..9: temperature, humidity of channels 1..5, in hundredths):
  --seed N           seed of the slow drift around 20..26 C and 40..60 %RH, and of the faults
                     below (default 1): the same seed gives the same run
  --values v0,...,v9 fixed register values instead of the drift, -32768..65535 (two's complement)
  --fault CH         channel CH (1..5) reads the fault value 0xFFFF in both registers; repeatable
Timing:
  --turnaround MS    pause after the silence that ends a request, before the answer (default 2,
                     fractional ok); on a pty the answer then takes one character time per byte
  --delay MS         extra delay before every answer (default 0)
Faults on demand:
  --drop P           leave each answer out with probability P (0..1)
  --corrupt P        flip one bit of one byte of an answer with probability P (0..1)
  --split            send each answer in two writes, with a pause of 2 character times between
  --garbage          send a short noise burst some time after each answer, between answers
Other:
  --quiet            no log; otherwise one line per frame on stderr: time, request, answer or why
                     there was none
  --help             this text

Registers 10..23 read 0. Functions 03 and 04 read registers (start 0..23, count 1..24 inside the
table; otherwise exception 02, or 03 for a count outside 1..125). Function 06 to register 0x0B00 with
1..247 echoes the request and takes that address (other values: exception 03; other registers: 02). The read-address
request FA 25 02 00 00 01 99 FE is answered by any address with ADDR 25 02 ADDR CRC. Other functions
get exception 01. Broadcasts (address 0) are applied and never answered; frames with a bad CRC, too
short, or for another address are ignored.
)";

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

[[noreturn]] void usageError(const std::string &message)
{
    std::fprintf(stderr, "kv4820-sim: %s (see --help)\n", message.c_str());
    std::exit(2);
}

double number(const char *text, double lo, double hi, const char *option)
{
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno || end == text || *end || !(value >= lo && value <= hi))
        usageError(std::string("bad value for ") + option + ": " + text);
    return value;
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

struct Options
{
    std::string link, device;
    int baud = 19200;
    std::uint32_t seed = 1;
    double turnaroundMs = 2, delayMs = 0, drop = 0, corrupt = 0;
    bool split = false, garbage = false, quiet = false;
};

class Line
{
public:
    Line(int fd, int slave, const Options &o) : m_fd(fd), m_slave(slave), m_char(kvsim::charTimeNs(o.baud)), m_split(o.split) {}
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

void log(const Options &o, const kvsim::Bytes &request, const std::string &what)
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
    Options o;
    int address = 1;
    bool fixed = false;
    std::array<int, kvsim::kMeasurements> values{};
    std::array<bool, 5> faulted{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--link") o.link = value();
        else if (arg == "--device") o.device = value();
        else if (arg == "--baud") {
            o.baud = int(number(value(), 9600, 38400, "--baud"));
            if (o.baud != 9600 && o.baud != 19200 && o.baud != 38400)
                usageError("--baud must be 9600, 19200 or 38400");
        } else if (arg == "--address") {
            const double a = number(value(), 1, 247, "--address");
            address = int(a);
            if (a != address)
                usageError("--address must be a whole number");
        } else if (arg == "--seed") o.seed = std::uint32_t(number(value(), 0, 4294967295.0, "--seed"));
        else if (arg == "--values") {
            std::string list = value();
            std::size_t count = 0, pos = 0;
            for (; count < kvsim::kMeasurements && pos <= list.size(); ++count) {
                const std::size_t comma = std::min(list.find(',', pos), list.size());
                const std::string item = list.substr(pos, comma - pos);
                const double v = number(item.c_str(), -32768, 65535, "--values");
                if (v != std::floor(v))
                    usageError("--values takes whole hundredths: " + item);
                values[count] = int(v);
                pos = comma + 1;
            }
            if (count != kvsim::kMeasurements || pos <= list.size())
                usageError("--values needs exactly ten comma-separated numbers");
            fixed = true;
        } else if (arg == "--fault") faulted[int(number(value(), 1, 5, "--fault")) - 1] = true;
        else if (arg == "--turnaround") o.turnaroundMs = number(value(), 0, 10000, "--turnaround");
        else if (arg == "--delay") o.delayMs = number(value(), 0, 60000, "--delay");
        else if (arg == "--drop") o.drop = number(value(), 0, 1, "--drop");
        else if (arg == "--corrupt") o.corrupt = number(value(), 0, 1, "--corrupt");
        else if (arg == "--split") o.split = true;
        else if (arg == "--garbage") o.garbage = true;
        else if (arg == "--quiet") o.quiet = true;
        else usageError("unknown option " + arg);
    }
    kvsim::Module module(o.seed);
    module.address = std::uint8_t(address);
    module.fixed = fixed;
    module.values = values;
    module.faulted = faulted;

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
            const int masterBaud = line.masterBaud();
            if (masterBaud && masterBaud != o.baud) {
                log(o, request, "-- no answer: master at " + std::to_string(masterBaud) + " baud, module at " + std::to_string(o.baud));
                continue;
            }
            kvsim::Outcome out = module.handle(request, double(now - started) / 1e9);
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
