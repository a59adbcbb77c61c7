#pragma once
// Turning register values of an answer into the texts of the value boxes.
#include <QByteArray>
#include <QString>
#include <optional>

constexpr quint16 kFaultValue = 0xFFFF;
constexpr int kSlotCount = 24;

// The value box text of one raw register: hundredths as "#0.00", above 20000 negative.
// Not for the fault value, which is shown as "0".
QString registerText(quint16 raw);
// The same as a number.
double registerValue(quint16 raw);

// The slot of the first register of an answer, from the start register's text at answer time.
int firstSlot(const QString &startText);

// True when answer is a whole answer to the 8-byte read request: the CRC over its 2N + 5 bytes holds
// and it starts with the request's address and function and the byte count 2N. Bytes after it do
// not matter.
bool registerAnswerAccepted(const QByteArray &answer, const QByteArray &request);

// The address a read-address answer names: a whole 6-byte frame (address, 0x25, count, address,
// CRC) whose CRC holds. Bytes after the frame do not matter.
std::optional<quint8> readAddressAnswer(const QByteArray &answer);

// The new address a change-address answer confirms: the whole 8-byte echo of request (its byte 5),
// or a 6-byte frame with function 0x06 and a good CRC (its byte 3).
std::optional<quint8> changeAddressAnswer(const QByteArray &answer, const QByteArray &request);
