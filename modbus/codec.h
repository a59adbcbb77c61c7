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

// The 8-byte requests: bytes 0..5 as given, then their CRC, low byte first.
QByteArray requestFrame(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4, quint8 b5);
// A read of count registers from start: address, function, 0, start, 0, count.
QByteArray readRequest(quint8 station, quint8 function, quint8 start, quint8 count);
// The fixed frame that asks any module on the line for its address: FA 25 02 00 00 01 99 FE.
QByteArray readAddressRequest();
// Gives the module at current the address wanted (function 0x06 to register 0x0B00).
QByteArray changeAddressRequest(quint8 current, quint8 wanted);
