#pragma once
// What the program prints of a good answer to the read of the ten values: the rows as the window names
// them, one line per poll, a JSON object, or the window's recording as CSV.
#include "response/valuerows.h"

#include <QByteArray>
#include <QDateTime>
#include <array>
#include <optional>

// The ten registers as read; none for the fault value or a register the answer did not carry.
using Registers = std::array<std::optional<quint16>, kValueRowCount>;

Registers registersOf(const QByteArray &answer);

// Ten lines: name, value ("#0.00"), unit, tab-separated; "-" for a value without a number.
QByteArray valueRows(const Registers &registers);
// One line: the local time to the millisecond, then the ten values, tab-separated.
QByteArray valueLine(const QDateTime &time, const Registers &registers);
// One line: {"time": ISO 8601 with the offset, "address": n, "t1": 24.57, "h1": …, "h5": …}, null
// for a value without a number.
QByteArray valueJson(const QDateTime &time, int address, const Registers &registers);
// The window's recording: its header (with the byte-order mark) and one row, CRLF.
QByteArray valueCsvHeader();
QByteArray valueCsvRow(const QDateTime &time, const Registers &registers);

// The local time as the recording writes it, for lines on standard error.
QString localTime(const QDateTime &time);
