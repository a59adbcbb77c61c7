#pragma once
// One exchange of the traffic log and its text, as the log shows and saves it. Pure, so that every
// program that prints exchanges writes the same columns.
#include "traffic/judge.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <cmath>

struct TrafficRow
{
    QDateTime time; // of the request's write, or of the first byte without one
    QByteArray request, reply;
    double firstMs = NAN, lastMs = NAN; // from the write to the first and the last byte
    Judgement judgement;
};

// The columns' titles: 时间, 请求, 应答, 首字节(ms), 末字节(ms), 结论.
QStringList trafficHeaders();
// Bytes as the log shows them: upper-case hex, one blank between bytes.
QString trafficHex(const QByteArray &bytes);
// A time in ms with one decimal; empty when there is none.
QString trafficMs(double ms);

// The saved log's first bytes (byte-order mark and header) and one row of it, CRLF.
QByteArray trafficCsvHeader();
QByteArray trafficCsvRow(const TrafficRow &row);
