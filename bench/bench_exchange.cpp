// One read of ten registers, click on 单次 to the ten boxes decoded, against the virtual module pacing
// its pty like a line at 9600, 19200 and 38400 baud; libmodbus reads the same registers over the same
// pty in the same run. Prints key=value lines for scripts/bench.
//   bench_exchange [reads]    reads per reader and rate (default 200)
#include "app/frmMain.h"
#include "app/look.h"
#include "response/decode.h"
#include "rig.h"
#include "serial/MSComm.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <modbus/modbus.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::array<int, 10> kValues{2150, 4520, 2230, 4810, 1990, 5120, 2075, 4650, 2310, 4400};
constexpr double kTurnaroundMs = 2; // the virtual module's default
constexpr int kBlock = 25;          // reads in a row before the other reader's turn

QString valueList()
{
    QStringList list;
    for (int v : kValues)
        list << QString::number(v);
    return list.join(',');
}

// From the click to the window's report of the decoded answer; right turns false without one in 2 s.
double toolRead(frmMain &window, bool &right)
{
    QCoreApplication::processEvents(); // the paint the last answer left, as before a real click
    QEventLoop loop;
    Clock::time_point decodedAt{};
    QObject::connect(&window, &frmMain::valuesDecoded, &loop, [&](const QStringList &shown) {
        decodedAt = Clock::now();
        for (std::size_t i = 0; i < kValues.size(); ++i)
            right = right && shown.value(int(i)) == registerText(quint16(kValues[i]));
        loop.quit();
    });
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    const Clock::time_point click = Clock::now();
    window.comDoOnce_Click();
    loop.exec();
    right = right && decodedAt != Clock::time_point{};
    return ms(click, decodedAt);
}

double libmodbusRead(modbus_t *ctx, bool &right)
{
    std::array<uint16_t, 10> registers{};
    const Clock::time_point start = Clock::now();
    const int got = modbus_read_registers(ctx, 0, 10, registers.data());
    const double taken = ms(start, Clock::now());
    for (std::size_t i = 0; i < kValues.size(); ++i)
        right = right && got == 10 && registers[i] == kValues[i];
    return taken;
}

// The two readers take turns in blocks on the one line, so a burst of load elsewhere hits both alike.
bool measure(int baud, int reads)
{
    VirtualModule module(baud, {QStringLiteral("--values"), valueList(), QStringLiteral("--quiet")});
    frmMain window(module.programDir(), [](const MessageBoxRequest &) { return 0; });
    window.show();
    modbus_t *ctx = modbus_new_rtu(module.slavePath().c_str(), baud, 'N', 8, 1);
    if (!module.running() || !window.MSComm1->PortOpen() || !ctx) {
        std::fprintf(stderr, "bench_exchange: no line at %d baud\n", baud);
        return false;
    }
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    bool right = true;
    for (int i = 0; i < 3; ++i) // the first reads on a fresh port, not counted
        toolRead(window, right);

    std::vector<double> tool, peer;
    while (int(tool.size()) < reads && right) {
        for (int i = 0; i < kBlock && right; ++i)
            tool.push_back(toolRead(window, right));
        // One master on the line: the window lets go of the port while libmodbus has it.
        window.MSComm1->setPortOpen(false);
        right = right && modbus_connect(ctx) == 0;
        for (int i = 0; i < kBlock && right; ++i)
            peer.push_back(libmodbusRead(ctx, right));
        modbus_close(ctx);
        window.MSComm1->setPortOpen(true);
    }
    modbus_free(ctx);
    if (!right) {
        std::fprintf(stderr, "bench_exchange: a read at %d baud failed or gave other values\n", baud);
        return false;
    }
    const double charMs = 11.0 * 1000 / baud;
    const double t = rank(tool, 0.5), p = rank(peer, 0.5);
    std::printf("b%d_wire_ms=%.3f\nb%d_turnaround_ms=%.3f\nb%d_silence_ms=%.3f\n", baud, 33 * charMs, baud,
                kTurnaroundMs, baud, baud > 19200 ? 1.75 : 3.5 * charMs);
    std::printf("b%d_tool_median_ms=%.3f\nb%d_tool_p99_ms=%.3f\nb%d_libmodbus_median_ms=%.3f\n", baud, t, baud,
                rank(tool, 0.99), baud, p);
    std::printf("b%d_libmodbus_p99_ms=%.3f\nb%d_ratio=%.4f\nb%d_reads=%zu\n", baud, rank(peer, 0.99), baud, t / p,
                baud, tool.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    useClassicLook();
    const int reads = argc > 1 ? std::max(kBlock, std::atoi(argv[1])) : 200;
    bool ok = true;
    for (int baud : {9600, 19200, 38400})
        ok = measure(baud, reads) && ok;
    return ok ? 0 : 1;
}
