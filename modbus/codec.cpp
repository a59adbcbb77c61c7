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

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

QChar *putHexByte(QChar *out, quint8 value)
{
    *out++ = QLatin1Char(kHexDigits[value >> 4]);
    *out++ = QLatin1Char(kHexDigits[value & 0x0F]);
    return out;
}

} // namespace

QString hexByte(quint8 value)
{
    QString text(2, Qt::Uninitialized);
    putHexByte(text.data(), value);
    return text;
}

// Both texts are written in place: a string per byte would cost more than the rest of an answer's
// decoding.
QString requestHexText(const QByteArray &frame)
{
    QString text(frame.size() * 3, Qt::Uninitialized);
    QChar *out = text.data();
    for (char byte : frame) {
        out = putHexByte(out, static_cast<quint8>(byte));
        *out++ = QLatin1Char(' ');
    }
    return text;
}

QString answerHexText(const QByteArray &answer)
{
    QString text(answer.size() * 3, Qt::Uninitialized);
    QChar *out = text.data();
    for (char byte : answer) {
        *out++ = QLatin1Char(' ');
        out = putHexByte(out, static_cast<quint8>(byte));
    }
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
