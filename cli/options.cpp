#include "cli/options.h"

#include "serial/portname.h"
#include "serial/settingsfile.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

struct Command
{
    const char *name;
    const char *arguments; // after the name in the usage line
    const char *summary;
};

const Command kCommands[] = {
    {"read", "", "One read of the ten values: name, value, unit."},
    {"poll", "", "A read every -i ms, one line per answer, until -n answers or Ctrl+C."},
    {"address", "", "The read-address request: prints the module's address."},
    {"set-address", " NEW", "Gives the module at -a the address NEW, confirmed by the module's own answer."},
    {"find", "", "The module search: one line per find (port, rate, address, register 0)."},
    {"log", "", "Polls as poll does and prints every exchange as the traffic log's CSV rows."},
};

const char kAbout[] = R"(Reads a KV4820-7 temperature and humidity module over Modbus RTU.

Commands (kv4820 COMMAND --help for the options of one):
  read          one read of the ten values: name, value, unit
  poll          a read every -i ms, one line per answer
  address       the read-address request: prints the module's address
  set-address   gives the module at -a a new address
  find          the module search: one line per find
  log           polls and prints every exchange as the traffic log's CSV rows

Exit codes: 0 done; 2 an argument refused, nothing sent; 3 the port did not open or went
away; 4 no answer (无应答); 5 an answer not whole or not good (不完整, CRC错误, 地址不符,
格式错误); 6 an exception answer (异常应答).)";

[[noreturn]] void showHelp(const QCommandLineParser &parser, const QString &usage)
{
    // Qt's usage line puts [options] before the command, where they would not be read.
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: kv4820 ") + usage);
    std::fputs(text.toUtf8().constData(), stdout);
    std::exit(kDone);
}

bool refuse(QString *refusal, const QString &why)
{
    *refusal = why;
    return false;
}

// A whole number in lo..hi, in decimal.
bool wholeNumber(const QString &text, int lo, int hi, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok || number < lo || number > hi)
        return false;
    *value = number;
    return true;
}

SearchPort numberedPort(int n, const QString &settingsDir)
{
    return {QStringLiteral("COM%1").arg(n), n, portDeviceName(n, settingsDir)};
}

} // namespace

bool parseArguments(const QStringList &arguments, const QString &settingsDir, Options *o, QString *refusal)
{
    const QString name = arguments.value(1);
    const Command *command = nullptr;
    for (const Command &c : kCommands)
        if (name == QLatin1String(c.name))
            command = &c;

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    if (!command && !name.isEmpty() && !name.startsWith(QLatin1Char('-')))
        return refuse(refusal, QStringLiteral("unknown command %1").arg(name));
    if (!command) {
        parser.setApplicationDescription(QString::fromUtf8(kAbout));
        if (!parser.parse(arguments))
            return refuse(refusal, parser.errorText());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        if (parser.isSet(QStringLiteral("help")))
            showHelp(parser, QStringLiteral("COMMAND [options]"));
        return refuse(refusal, QStringLiteral("no command"));
    }
    o->command = name;
    const bool find = name == QLatin1String("find"), polls = name == QLatin1String("poll") || name == QLatin1String("log");

    const QCommandLineOption port({"p", "port"}, "COMn (a link COMn in the settings directory, else /dev/ttyS<n-1>) "
                                                 "or a device such as /dev/ttyUSB0; default: the port in comm.set.", "PORT");
    const QCommandLineOption rate({"b", "baud"}, "9600, 19200 or 38400; default: the rate in comm.set, else 19200.", "RATE");
    const QCommandLineOption address({"a", "address"}, name == QLatin1String("set-address")
                                     ? "The module's address now, 1 to 247 (default 1)." : "The module's address, 1 to 247 (default 1).", "ADDR");
    const QCommandLineOption interval({"i", "interval"}, "Milliseconds from one request to the next, 50 to 60000 (default 1000).", "MS");
    const QCommandLineOption count({"n", "count"}, name == QLatin1String("log") ? "Stop after COUNT exchanges (default: Ctrl+C)."
                                                                              : "Stop after COUNT answers (default: Ctrl+C).", "COUNT");
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object per answer."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("The header and rows of the window's recording (UTF-8 with BOM, CRLF)."));
    const QCommandLineOption allPorts(QStringLiteral("all-ports"), QStringLiteral("Every port that opens, as the search dialog's 所有端口."));
    const QCommandLineOption margin(QStringLiteral("margin"), QStringLiteral("Milliseconds each try waits beyond the line's time, "
                                                                             "for a module that answers late (default 30)."), QStringLiteral("MS"));
    parser.setApplicationDescription(QString::fromUtf8(command->summary));
    parser.addOption(port);
    parser.addOption(rate);
    if (find)
        parser.addOptions({allPorts, margin});
    else if (name != QLatin1String("address"))
        parser.addOption(address);
    if (polls)
        parser.addOptions({interval, count});
    if (name == QLatin1String("read") || name == QLatin1String("poll"))
        parser.addOptions({json, csv});
    if (name == QLatin1String("set-address"))
        parser.addPositionalArgument(QStringLiteral("NEW"), QStringLiteral("The new address, 1 to 247."));

    QStringList rest = arguments;
    rest.removeAt(1);
    if (!parser.parse(rest))
        return refuse(refusal, parser.errorText());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.isSet(QStringLiteral("help")))
        showHelp(parser, name + QLatin1String(command->arguments) + QStringLiteral(" [options]"));

    // Only the command's own options are defined: asking for another would be a warning.
    const QStringList named = parser.optionNames();
    const auto given = [&named](const QCommandLineOption &option) {
        return std::any_of(option.names().cbegin(), option.names().cend(), [&named](const QString &n) { return named.contains(n); });
    };
    const QStringList positional = parser.positionalArguments();
    if (name == QLatin1String("set-address")) {
        if (positional.size() != 1 || !wholeNumber(positional[0], 1, 247, &o->newAddress))
            return refuse(refusal, positional.size() == 1 ? QStringLiteral("new address %1 refused: 1 to 247").arg(positional[0])
                                                           : QStringLiteral("set-address needs one new address"));
    } else if (!positional.isEmpty()) {
        return refuse(refusal, QStringLiteral("unexpected argument %1").arg(positional[0]));
    }
    if (given(address) && !wholeNumber(parser.value(address), 1, 247, &o->address))
        return refuse(refusal, QStringLiteral("address %1 refused: 1 to 247").arg(parser.value(address)));
    if (given(interval) && !wholeNumber(parser.value(interval), 50, 60000, &o->intervalMs))
        return refuse(refusal, QStringLiteral("interval %1 refused: 50 to 60000 ms").arg(parser.value(interval)));
    if (given(count) && !wholeNumber(parser.value(count), 1, INT_MAX, &o->count))
        return refuse(refusal, QStringLiteral("count %1 refused: 1 or more").arg(parser.value(count)));
    if (given(margin) && !wholeNumber(parser.value(margin), 0, 10000, &o->marginMs))
        return refuse(refusal, QStringLiteral("margin %1 refused: 0 to 10000 ms").arg(parser.value(margin)));
    if (given(json) && given(csv))
        return refuse(refusal, QStringLiteral("--json and --csv together refused: one or the other"));
    o->format = given(json) ? Format::Json : given(csv) ? Format::Csv : Format::Text;
    o->allPorts = given(allPorts);

    StoredSettings stored;
    const bool loaded = loadSettingsFile(settingsDir, stored) == LoadResult::Loaded;
    if (given(rate)) {
        bool ok = false;
        o->rate = parser.value(rate).toInt(&ok);
        if (!ok || !Searcher::kRates.contains(o->rate))
            return refuse(refusal, QStringLiteral("rate %1 refused: 9600, 19200 or 38400").arg(parser.value(rate)));
    } else if (loaded && Searcher::kRates.contains(stored.rate)) {
        o->rate = stored.rate;
    }

    if (given(port)) {
        if (o->allPorts)
            return refuse(refusal, QStringLiteral("-p and --all-ports together refused: one or the other"));
        const QString text = parser.value(port);
        const QRegularExpressionMatch numbered = QRegularExpression(QStringLiteral("^COM([0-9]+)$"),
                                                                    QRegularExpression::CaseInsensitiveOption).match(text);
        int n = 0;
        if (numbered.hasMatch() && !wholeNumber(numbered.captured(1), 1, 255, &n))
            return refuse(refusal, QStringLiteral("port %1 refused: COM1 to COM255").arg(text));
        o->port = n > 0 ? numberedPort(n, settingsDir) : SearchPort{text, 0, text};
    } else if (loaded && stored.port >= 1) {
        o->port = numberedPort(stored.port, settingsDir);
    } else if (!o->allPorts) {
        return refuse(refusal, QStringLiteral("no port: give -p PORT (no port stored in %1)").arg(settingsFilePath(settingsDir)));
    }
    return true;
}
