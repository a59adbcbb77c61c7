#include "rig.h"

#include "response/decode.h"
#include "serial/MSComm.h"

#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>
#include <QVBoxLayout>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <dlfcn.h>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::atomic<int> g_lineFd{-1};
Clock::time_point g_lastWrite, g_lastRead; // written and read on the thread that uses the line

} // namespace

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    using Write = ssize_t (*)(int, const void *, size_t);
    static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    const ssize_t done = real(fd, data, size);
    if (done > 0 && fd == g_lineFd.load(std::memory_order_relaxed))
        g_lastWrite = Clock::now();
    return done;
}

extern "C" ssize_t read(int fd, void *data, size_t size)
{
    using Read = ssize_t (*)(int, void *, size_t);
    static const Read real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    const ssize_t done = real(fd, data, size);
    if (done > 0 && fd == g_lineFd.load(std::memory_order_relaxed))
        g_lastRead = Clock::now();
    return done;
}

void watchLine(int fd)
{
    g_lineFd = fd;
}

LineStamps lineStamps()
{
    return {g_lastWrite, g_lastRead};
}

std::set<int> descriptorsOn(const std::string &path)
{
    std::set<int> fds;
    const QString target = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    for (const QFileInfo &entry : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
        if (entry.symLinkTarget() == target)
            fds.insert(entry.fileName().toInt());
    return fds;
}

int newDescriptorOn(const std::string &path, const std::set<int> &before)
{
    for (int fd : descriptorsOn(path))
        if (!before.count(fd))
            return fd;
    return -1;
}

Percentiles percentiles(std::vector<double> samples)
{
    Percentiles p;
    if (samples.empty())
        return p;
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double q) {
        const std::size_t r = std::size_t(std::ceil(q * double(samples.size())));
        return samples[std::min(samples.size(), std::max<std::size_t>(r, 1)) - 1];
    };
    p.median = rank(0.5);
    p.p99 = rank(0.99);
    p.max = samples.back();
    return p;
}

void reportPercentiles(benchmark::State &state, const std::string &prefix, const std::vector<double> &samples,
                       double scale)
{
    const Percentiles p = percentiles(samples);
    state.counters[prefix + "_median"] = p.median * scale;
    state.counters[prefix + "_p99"] = p.p99 * scale;
}

ProgramDir::ProgramDir(int baud)
{
    QFile set(dir.filePath(QStringLiteral("comm.set")));
    set.open(QIODevice::WriteOnly);
    set.write(QByteArray("1,") + QByteArray::number(baud) + "\r\n");
}

Simulator::Simulator(const std::vector<std::string> &options, const std::string &link, const std::string &stderrPath)
{
    int out[2];
    if (pipe(out) != 0)
        return;
    std::vector<std::string> args{KV_SIM_PATH};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--link");
    args.push_back(link);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int err = open(stderrPath.empty() ? "/dev/null" : stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        close(out[0]);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line is the slave path; the link exists once it is printed.
    std::string line;
    pollfd fd{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&fd, 1, 5000) > 0) {
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, std::size_t(n));
    }
    close(out[0]);
    if (line.find('\n') != std::string::npos)
        m_slavePath = line.substr(0, line.find('\n'));
    else
        std::fprintf(stderr, "bench: kv4820-sim did not start\n");
}

Simulator::~Simulator()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

bool lastBoxBlack(const frmMain &window)
{
    return textColor(window.txtValue[9]) == Qt::black;
}

bool allBoxesRed(const frmMain &window)
{
    for (const QLineEdit *box : window.txtValue)
        if (textColor(box) != QColor(255, 0, 0))
            return false;
    return true;
}

DecodeWatch::DecodeWatch(frmMain &window) : m_window(window)
{
    QObject::connect(window.MSComm1, &MSComm::OnComm, [this] {
        if (m_decoded || !lastBoxBlack(m_window))
            return;
        m_at = Clock::now();
        m_decoded = true;
        ++m_count;
        if (m_loop)
            m_loop->quit();
    });
}

bool DecodeWatch::wait(int timeoutMs)
{
    if (m_decoded)
        return true;
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(timeoutMs);
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return m_decoded;
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray readTenRequest()
{
    return QByteArray::fromHex("01030000000AC5CD");
}

PlainBoxes::PlainBoxes()
{
    auto *layout = new QVBoxLayout(&m_window);
    for (QLineEdit *&box : m_boxes)
        layout->addWidget(box = new QLineEdit(&m_window));
    m_window.show();
}

namespace {

// The way a plain Qt program colours a box's text.
void setPlainTextColor(QLineEdit *box, const QColor &color)
{
    QPalette palette = box->palette();
    if (palette.color(QPalette::Text) == color)
        return;
    palette.setColor(QPalette::Text, color);
    box->setPalette(palette);
}

} // namespace

void PlainBoxes::turnRed()
{
    for (QLineEdit *box : m_boxes)
        setPlainTextColor(box, Qt::red);
}

void PlainBoxes::show(const QByteArray &answer)
{
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i]->setText(registerText(quint16(quint8(answer[int(3 + 2 * i)]) << 8 | quint8(answer[int(4 + 2 * i)]))));
        setPlainTextColor(m_boxes[i], Qt::black);
    }
}
