#pragma once
// The recording's text: UTF-8 with a byte-order mark and CRLF line ends, which a spreadsheet on a
// Chinese Windows opens as Unicode without asking for an encoding.
#include <QByteArray>
#include <QDateTime>
#include <QStringList>

// The file's first bytes: the byte-order mark and the header row "时间,<column>,…".
QByteArray csvHeader(const QStringList &columns);

// One row: the local time with milliseconds, then one field per value; an empty text stays empty.
QByteArray csvRow(const QDateTime &time, const QStringList &values);

// The recording's columns: each value's name and unit, "1#温度值(℃)", in the order of the boxes.
QStringList recordingColumns();
