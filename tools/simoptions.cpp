#include "simoptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvsim {

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
  --address N[,N...] Modbus address 1..247 (default 1); several addresses are several modules on
                     the same line, each answering its own address. They all answer the read-address
                     request at once: their answers collide into garbled bytes without a good CRC.
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
  --no-read-address  ignore the read-address request, as a module without that command would
  --drop P           leave each answer out with probability P (0..1)
  --corrupt P        flip one bit of one byte of an answer with probability P (0..1)
  --split            send each answer in two writes, with a pause of 2 character times between
  --garbage          send a short noise burst some time after each answer, between answers
  --echo             hand every frame the master sends back at once, before any answer, also when
                     the module does not answer, as a two-wire adapter whose receiver stays on does
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

// Comma-separated whole numbers in lo..hi.
std::vector<int> wholeNumbers(const std::string &list, double lo, double hi, const char *option)
{
    std::vector<int> out;
    for (std::size_t pos = 0; pos <= list.size();) {
        const std::size_t comma = std::min(list.find(',', pos), list.size());
        const std::string item = list.substr(pos, comma - pos);
        const double v = number(item.c_str(), lo, hi, option);
        if (v != std::floor(v))
            usageError(std::string(option) + " takes whole numbers: " + item);
        out.push_back(int(v));
        pos = comma + 1;
    }
    return out;
}

} // namespace

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--link") o.link = value();
        else if (arg == "--device") o.device = value();
        else if (arg == "--baud") {
            o.baud = int(number(value(), 9600, 38400, "--baud"));
            if (o.baud != 9600 && o.baud != 19200 && o.baud != 38400)
                usageError("--baud must be 9600, 19200 or 38400");
        } else if (arg == "--address") {
            o.addresses = wholeNumbers(value(), 1, 247, "--address");
            std::vector<int> sorted = o.addresses;
            std::sort(sorted.begin(), sorted.end());
            if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
                usageError("--address names an address twice");
        } else if (arg == "--seed") o.seed = std::uint32_t(number(value(), 0, 4294967295.0, "--seed"));
        else if (arg == "--values") {
            const std::vector<int> v = wholeNumbers(value(), -32768, 65535, "--values");
            if (v.size() != kMeasurements)
                usageError("--values needs exactly ten comma-separated numbers");
            std::copy(v.begin(), v.end(), o.values.begin());
            o.fixed = true;
        } else if (arg == "--fault") o.faulted[int(number(value(), 1, 5, "--fault")) - 1] = true;
        else if (arg == "--no-read-address") o.ignoreReadAddress = true;
        else if (arg == "--turnaround") o.turnaroundMs = number(value(), 0, 10000, "--turnaround");
        else if (arg == "--delay") o.delayMs = number(value(), 0, 60000, "--delay");
        else if (arg == "--drop") o.drop = number(value(), 0, 1, "--drop");
        else if (arg == "--corrupt") o.corrupt = number(value(), 0, 1, "--corrupt");
        else if (arg == "--split") o.split = true;
        else if (arg == "--garbage") o.garbage = true;
        else if (arg == "--echo") o.echo = true;
        else if (arg == "--quiet") o.quiet = true;
        else usageError("unknown option " + arg);
    }
    return o;
}

} // namespace kvsim
