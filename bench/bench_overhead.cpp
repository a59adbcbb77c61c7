// What the tool adds above the wire, in one process over a pseudo-terminal whose far end answers at
// once: a click on "单次" until the last request byte is readable on the far side, and the last answer
// byte written until the ten value boxes show the answer.
#include "app/frmMain.h"
#include "common/pty.h"
#include "modbus/codec.h"
#include "response/decode.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Rig
{
    QTemporaryDir dir;
    Pty pty;
    std::unique_ptr<frmMain> window;

    Rig()
    {
        pty.linkAs(dir.path(), 1);
        QFile set(dir.filePath(QStringLiteral("comm.set")));
        set.open(QIODevice::WriteOnly);
        set.write("1,19200\r\n");
        set.close();
        window = std::make_unique<frmMain>(dir.path(), [](const MessageBoxRequest &) { return 0; });
        window->txtStationID->setText(QStringLiteral("1"));
    }
};

Rig &rig()
{
    static Rig r;
    return r;
}

QByteArray answerFor(int round)
{
    QByteArray answer("\x01\x03\x14", 3);
    for (int i = 0; i < 10; ++i) {
        const int value = 2000 + (round + i) % 500;
        answer.append(char(value >> 8)).append(char(value & 0xFF));
    }
    const quint16 crc = crc16(answer, int(answer.size()) - 1);
    return answer.append(char(crc & 0xFF)).append(char(crc >> 8));
}

void report(benchmark::State &state, std::vector<double> &samples)
{
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

double micros(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::micro>(to - from).count();
}

void BM_ClickToLastRequestByte(benchmark::State &state)
{
    Rig &r = rig();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        r.window->comDoOnce_Click();
        int got = 0;
        pollfd fd{r.pty.masterFd(), POLLIN, 0};
        while (got < 8) {
            poll(&fd, 1, 100);
            got += r.pty.readAvailable().size();
        }
        samples.push_back(micros(start, Clock::now()));
    }
    report(state, samples);
}

void BM_LastAnswerByteToValues(benchmark::State &state)
{
    Rig &r = rig();
    std::vector<double> samples;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        r.window->comDoOnce_Click();
        r.pty.read(8);
        const QByteArray answer = answerFor(++round);
        const QString last = registerText(quint16(2000 + (round + 9) % 500));
        state.ResumeTiming();
        r.pty.write(answer);
        const auto start = Clock::now();
        while (r.window->txtValue[9]->text() != last || r.window->txtValue[0]->palette().color(QPalette::Text) != Qt::black)
            QCoreApplication::processEvents();
        samples.push_back(micros(start, Clock::now()));
    }
    report(state, samples);
}

} // namespace

BENCHMARK(BM_ClickToLastRequestByte)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LastAnswerByteToValues)->Iterations(2000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
