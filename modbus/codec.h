#pragma once
// Modbus RTU CRC-16 and the hex text of frames.
#include <QByteArray>
#include <QString>

// CRC-16 of Modbus RTU over bytes 0..last of frame (last is an index; -1 covers nothing).
quint16 crc16(const QByteArray &frame, int last);

// Two upper-case hex digits of one byte.
QString hexByte(quint8 value);

// A request as shown: two digits and one blank per byte ("02 03 ... FE ").
QString requestHexText(const QByteArray &frame);

// An answer as shown: one blank and two digits per byte (" 01 03 ...").
QString answerHexText(const QByteArray &answer);

// True when answer holds at least length bytes and the CRC over its first length - 2 bytes
// matches the two bytes that follow them, low byte first.
bool answerCrcMatches(const QByteArray &answer, int length);
