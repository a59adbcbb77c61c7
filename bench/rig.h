#pragma once
// What the in-process benchmarks share: a program directory with comm.set, the virtual module as a
// child process, a watch on the window's answer handling, and percentiles of samples.
#include "app/frmMain.h"

#include <QTemporaryDir>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double micros(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::micro>(to - from).count();
}

struct Percentiles
{
    double median = 0, p99 = 0, max = 0;
};

// Nearest-rank percentiles.
Percentiles percentiles(std::vector<double> samples);

// Sets prefix_median and prefix_p99 (in the unit of the samples, scaled by scale).
void reportPercentiles(benchmark::State &state, const std::string &prefix, const std::vector<double> &samples,
                       double scale = 1);

// A temporary program directory whose comm.set names port 1 at baud.
struct ProgramDir
{
    QTemporaryDir dir;
    explicit ProgramDir(int baud);
    QString path() const { return dir.path(); }
    std::string comLink() const { return dir.filePath(QStringLiteral("COM1")).toStdString(); }
};

// kv4820-sim as a child process, linked as COM1 into a program directory; stopped on destruction.
class Simulator
{
public:
    // stderrPath empty: its log goes nowhere.
    Simulator(const std::vector<std::string> &options, const std::string &link, const std::string &stderrPath = {});
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool isRunning() const { return !m_slavePath.empty(); }
    const std::string &slavePath() const { return m_slavePath; }

private:
    pid_t m_pid = -1;
    std::string m_slavePath;
};

// Notes when the window has decoded an answer: the last value box written (box 9) is black again
// after a click turned all ten red. Hooked on the port's notification, after the window's handler.
class DecodeWatch
{
public:
    explicit DecodeWatch(frmMain &window);
    // Call before the click (or the answer): forgets the previous decode.
    void arm() { m_decoded = false; }
    // Runs the event loop until the decode or timeoutMs; true when decoded.
    bool wait(int timeoutMs = 2000);
    Clock::time_point decodedAt() const { return m_at; }
    long decodes() const { return m_count; }

private:
    frmMain &m_window;
    bool m_decoded = false;
    bool m_waiting = false;
    long m_count = 0;
    Clock::time_point m_at;
    class QEventLoop *m_loop = nullptr;
};

bool lastBoxBlack(const frmMain &window);
bool allBoxesRed(const frmMain &window);

// Runs the event loop for ms milliseconds.
void runEventLoop(int ms);

// When the tool's (or a peer's) last write() and read() on the watched descriptor returned. The
// benchmark executables put their own write() and read() in front of the C library's to stamp them,
// so a figure can be split into the tool's part and the line's.
struct LineStamps
{
    Clock::time_point lastWrite, lastRead;
};
void watchLine(int fd);
LineStamps lineStamps();

// The descriptors of this process open on path, and the one among them not in before (or -1).
std::set<int> descriptorsOn(const std::string &path);
int newDescriptorOn(const std::string &path, const std::set<int> &before);

// The floors' read of ten registers from 0 at address 1, with its CRC, and the length of its answer.
QByteArray readTenRequest();
constexpr int kReadTenAnswerLength = 25;

// Ten plain QLineEdits in a shown window: the floors' stand-in for the tool's value boxes.
class PlainBoxes
{
public:
    PlainBoxes();
    // Turns the ten texts red, as the tool marks values not yet refreshed by the current read.
    void turnRed();
    // Gives the boxes the ten values of a read answer (its registers from byte 3 on), in black.
    void show(const QByteArray &answer);

private:
    QWidget m_window;
    std::array<class QLineEdit *, 10> m_boxes{};
};
