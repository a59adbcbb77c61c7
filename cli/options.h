#pragma once
// The command line of kv4820: the command, its options, and what is refused before anything is sent.
#include "search/searcher.h"

#include <QString>
#include <QStringList>

// The exit codes, one per kind of failure; the manual page lists them.
enum ExitCode {
    kDone = 0,
    kRefused = 2,    // an argument that does not fit: nothing was sent
    kPortFailed = 3, // the port did not open, or went away
    kNoAnswer = 4,   // 无应答
    kBadAnswer = 5,  // an answer that is not whole or not good: 不完整, CRC错误, 地址不符, 格式错误
    kException = 6,  // 异常应答: the module refused the request
};

enum class Format { Text, Json, Csv };

struct Options
{
    QString command; // read, poll, address, set-address, find or log
    SearchPort port; // what is opened; none for find --all-ports
    bool allPorts = false;
    int rate = 19200;
    int address = 1;
    int newAddress = 0;
    int intervalMs = 1000;
    int count = 0; // answers of poll, exchanges of log; 0: until Ctrl+C
    Format format = Format::Text;
    int marginMs = Searcher::kMarginMs;
};

// Reads arguments (the program's first), with the port and rate of comm.set in settingsDir as the
// defaults and its COMn links naming ports. Prints the help or the version and exits for --help and
// --version; returns false with what was refused when an argument does not fit.
bool parseArguments(const QStringList &arguments, const QString &settingsDir, Options *options, QString *refusal);
