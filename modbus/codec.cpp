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
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString requestHexText(const QByteArray &frame)
{
    QString text;
    for (char byte : frame)
        text += hexByte(quint8(byte)) + QLatin1Char(' ');
    return text;
}

QString answerHexText(const QByteArray &answer)
{
    QString text;
    for (char byte : answer)
        text += QLatin1Char(' ') + hexByte(quint8(byte));
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

QByteArray requestFrame(quint8 b0, quint8 b1, quint8 b2, quint8 b3, quint8 b4, quint8 b5)
{
    QByteArray frame;
    for (quint8 byte : {b0, b1, b2, b3, b4, b5})
        frame.append(char(byte));
    const quint16 crc = crc16(frame, 5);
    return frame.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray readRequest(quint8 station, quint8 function, quint8 start, quint8 count)
{
    return requestFrame(station, function, 0, start, 0, count);
}

QByteArray readAddressRequest()
{
    return requestFrame(0xFA, 0x25, 0x02, 0x00, 0x00, 0x01);
}

QByteArray changeAddressRequest(quint8 current, quint8 wanted)
{
    return requestFrame(current, 0x06, 0x0B, 0x00, 0x00, wanted);
}
