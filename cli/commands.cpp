#include "cli/commands.h"

#include "cli/line.h"
#include "cli/output.h"
#include "modbus/codec.h"
#include "response/decode.h"
#include "search/portlist.h"
#include "serial/portname.h"
#include "serial/systemports.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

// Each line goes out at once: a pipe's reader gets every answer as it comes.
void out(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void tell(const QString &text)
{
    std::fputs((QStringLiteral("kv4820: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

// The verdict on standard error, and the exit code of its kind.
int failed(const TrafficRow &row, const QString &context = {})
{
    tell(context + judgementText(row.judgement));
    switch (row.judgement.verdict) {
    case Verdict::NoAnswer: return kNoAnswer;
    case Verdict::Exception: return kException;
    default: return kBadAnswer; // a good frame that still does not answer counts as a bad answer
    }
}

int portLost(const Options &o)
{
    tell(QStringLiteral("%1: the port went away").arg(o.port.label));
    return kPortFailed;
}

void pause(qint64 ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(int(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray valuesRequest(const Options &o) { return readRequest(quint8(o.address), 0x03, 0, kValueRowCount); }

int read(const Options &o, Line &line)
{
    const QByteArray request = valuesRequest(o);
    const TrafficRow row = line.exchange(request);
    if (line.lost())
        return portLost(o);
    const QByteArray answer = line.answer(row);
    if (!registerAnswerAccepted(answer, request))
        return failed(row);
    const Registers registers = registersOf(answer);
    const QDateTime now = QDateTime::currentDateTime();
    switch (o.format) {
    case Format::Text: out(valueRows(registers)); break;
    case Format::Json: out(valueJson(now, o.address, registers)); break;
    case Format::Csv: out(valueCsvHeader() + valueCsvRow(now, registers)); break;
    }
    return kDone;
}

// Sends request every intervalMs (a tick that cannot be kept is skipped, as a timer's would be), each
// waited for until the next is due; hands each exchange to counted until it has said yes count times.
int everyInterval(const Options &o, Line &line, const QByteArray &request, const std::function<bool(const TrafficRow &)> &counted)
{
    QElapsedTimer clock;
    clock.start();
    for (qint64 tick = 0, done = 0; o.count == 0 || done < o.count; ++tick) {
        tick = qMax(tick, clock.elapsed() / o.intervalMs);
        pause(tick * o.intervalMs - clock.elapsed());
        const qint64 next = (tick + 1) * o.intervalMs;
        const TrafficRow row = line.exchange(request, int(qMin<qint64>(Line::kAnswerMs, next - clock.elapsed())));
        if (line.lost())
            return portLost(o);
        done += counted(row);
    }
    return kDone;
}

int poll(const Options &o, Line &line)
{
    const QByteArray request = valuesRequest(o);
    if (o.format == Format::Csv)
        out(valueCsvHeader());
    return everyInterval(o, line, request, [&](const TrafficRow &row) {
        const QByteArray answer = line.answer(row);
        if (!registerAnswerAccepted(answer, request)) {
            failed(row, localTime(row.time) + QLatin1Char(' '));
            return false;
        }
        const Registers registers = registersOf(answer);
        const QDateTime now = QDateTime::currentDateTime();
        out(o.format == Format::Json ? valueJson(now, o.address, registers)
            : o.format == Format::Csv ? valueCsvRow(now, registers) : valueLine(now, registers));
        return true;
    });
}

int log(const Options &o, Line &line)
{
    out(trafficCsvHeader());
    QObject::connect(&line, &Line::ended, [](const TrafficRow &row) { out(trafficCsvRow(row)); });
    const int code = everyInterval(o, line, valuesRequest(o), [](const TrafficRow &) { return true; });
    line.end();
    return code;
}

int address(const Options &o, Line &line)
{
    const TrafficRow row = line.exchange(readAddressRequest());
    if (line.lost())
        return portLost(o);
    const std::optional<quint8> address = readAddressAnswer(line.answer(row));
    if (!address)
        return failed(row);
    out(QByteArray::number(*address) + '\n');
    return kDone;
}

int setAddress(const Options &o, Line &line)
{
    // A fresh process does not know whether the adapter echoes, and there the adapter's copy of a change
    // would pass for the module's answer: a read of the module first shows it.
    const QByteArray probe = readRequest(quint8(o.address), 0x03, 0, 1);
    const TrafficRow read = line.exchange(probe);
    if (line.lost())
        return portLost(o);
    if (!registerAnswerAccepted(line.answer(read), probe))
        return failed(read, QStringLiteral("the read at address %1 before the change: ").arg(o.address));
    const QByteArray request = changeAddressRequest(quint8(o.address), quint8(o.newAddress));
    const TrafficRow row = line.exchange(request);
    if (line.lost())
        return portLost(o);
    // Only the module's own answer confirms the change; on a line that echoes, it follows the copy.
    if (changeAddressAnswer(line.answer(row), request) != std::optional<quint8>(quint8(o.newAddress)))
        return failed(row);
    out(QByteArray::number(o.newAddress) + '\n');
    return kDone;
}

int find(const Options &o, const QString &settingsDir)
{
    const QList<SearchPort> ports = o.allPorts ? portsToSearch(settingsDir, kPortCount, systemPorts()) : QList<SearchPort>{o.port};
    if (ports.isEmpty()) {
        tell(QStringLiteral("no serial port to search"));
        return kPortFailed;
    }
    Searcher searcher(settingsDir);
    searcher.setMarginMs(o.marginMs);
    int finds = 0, unopened = 0;
    QObject::connect(&searcher, &Searcher::found, [&](const SearchFind &f) {
        if (!f.failure.isEmpty()) {
            ++unopened;
            tell(f.port.label + QStringLiteral(": ") + f.failure);
            return;
        }
        ++finds;
        out(QStringLiteral("%1\t%2\t%3\t%4\n").arg(f.port.label).arg(f.rate).arg(f.address).arg(f.value).toUtf8());
    });
    QEventLoop loop;
    QObject::connect(&searcher, &Searcher::finished, &loop, &QEventLoop::quit);
    searcher.start(ports, o.rate);
    if (searcher.isRunning()) // ports that all fail to open end the search inside start()
        loop.exec();
    if (finds > 0)
        return kDone;
    if (unopened == ports.size())
        return kPortFailed;
    tell(QStringLiteral("no module found"));
    return kNoAnswer;
}

} // namespace

int runCommand(const Options &o, const QString &settingsDir)
{
    if (o.command == QLatin1String("find"))
        return find(o, settingsDir);
    Line line(settingsDir);
    QString why;
    if (!line.open(o.port.device, o.rate, &why)) {
        tell(o.port.label + QStringLiteral(": ") + why);
        return kPortFailed;
    }
    if (o.command == QLatin1String("read"))
        return read(o, line);
    if (o.command == QLatin1String("poll"))
        return poll(o, line);
    if (o.command == QLatin1String("log"))
        return log(o, line);
    if (o.command == QLatin1String("address"))
        return address(o, line);
    return setAddress(o, line);
}
