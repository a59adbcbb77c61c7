#include "modbus/codec.h"

quint16 crc16(const QByteArray &frame, int last)
{
    quint16 reg = 0xFFFF;
    for (int i = 0; i <= last; ++i) {
        reg ^= static_cast<quint8>(frame.at(i));
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = reg & 1;
            reg >>= 1;
            if (carry)
                reg ^= 0xA001;
        }
    }
    return reg;
}

QString hexByte(quint8 value)
{
    static const char digits[] = "0123456789ABCDEF";
    const QChar text[2] = {QLatin1Char(digits[value >> 4]), QLatin1Char(digits[value & 0x0F])};
    return QString(text, 2);
}

QString requestHexText(const QByteArray &frame)
{
    QString text;
    text.reserve(frame.size() * 3);
    for (char byte : frame)
        text += hexByte(static_cast<quint8>(byte)) + QLatin1Char(' ');
    return text;
}

QString answerHexText(const QByteArray &answer)
{
    QString text;
    text.reserve(answer.size() * 3);
    for (char byte : answer)
        text += QLatin1Char(' ') + hexByte(static_cast<quint8>(byte));
    return text;
}

bool answerCrcMatches(const QByteArray &answer, int length)
{
    if (length < 3 || answer.size() < length)
        return false;
    const quint16 crc = crc16(answer, length - 3);
    return static_cast<quint8>(answer.at(length - 2)) == (crc & 0xFF)
        && static_cast<quint8>(answer.at(length - 1)) == (crc >> 8);
}
