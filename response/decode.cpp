#include "response/decode.h"

#include "app/numbers.h"
#include "modbus/codec.h"

double registerValue(quint16 raw)
{
    const int hundredths = raw <= 20000 ? int(raw) : int(raw) - 65536;
    return hundredths / 100.0;
}

QString registerText(quint16 raw)
{
    // A whole number of hundredths: two decimals show it exactly.
    return QString::number(registerValue(raw), 'f', 2);
}

int firstSlot(const QString &startText)
{
    const std::optional<double> number = readNumber(startText);
    if (!number)
        return 0;
    const double start = integerPart(*number);
    // Start 13 and above would begin past the last slot: such answers fill from slot 0.
    if (start > 12)
        return 0;
    // Far below any slot (kept finite): every register of the answer lands outside the boxes.
    if (start < -1000)
        return -2000;
    return start == 0 ? 0 : int(2 * (start - 1));
}

bool registerAnswerAccepted(const QByteArray &answer, const QByteArray &request)
{
    if (request.size() != 8)
        return false;
    const quint8 count = quint8(request.at(5));
    // Noise passes a 16-bit CRC once in 65536 tries: the head must be the answer's as well.
    return answerCrcMatches(answer, 2 * count + 5) && answer.startsWith(request.left(2) + char(2 * count));
}

std::optional<quint8> readAddressAnswer(const QByteArray &answer)
{
    // On a bus every module answers the read-address frame: colliding answers must not pass.
    if (!answerCrcMatches(answer, 6) || quint8(answer.at(1)) != 0x25)
        return std::nullopt;
    return quint8(answer.at(3));
}

std::optional<quint8> changeAddressAnswer(const QByteArray &answer, const QByteArray &request)
{
    if (request.size() == 8 && answer.startsWith(request) && answerCrcMatches(answer, 8))
        return quint8(answer.at(5));
    if (answerCrcMatches(answer, 6) && quint8(answer.at(1)) == 0x06)
        return quint8(answer.at(3));
    return std::nullopt;
}
