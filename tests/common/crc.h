#pragma once
// The Modbus CRC-16 computed apart from the tool's own, so that a fault in the tool's CRC cannot hide
// in the test's frames too.
#include <QByteArray>

// Another form than the tool's: polynomial 0x8005 shifted left over bit-reversed bytes, the register
// reversed at the end.
inline quint16 referenceCrc(const QByteArray &data)
{
    auto reflect = [](quint32 v, int width) {
        quint32 out = 0;
        for (int i = 0; i < width; ++i)
            out |= ((v >> i) & 1u) << (width - 1 - i);
        return out;
    };
    quint32 reg = 0xFFFF;
    for (char c : data) {
        reg ^= reflect(quint8(c), 8) << 8;
        for (int bit = 0; bit < 8; ++bit)
            reg = ((reg << 1) ^ ((reg & 0x8000) ? 0x8005 : 0)) & 0xFFFF;
    }
    return quint16(reflect(reg, 16));
}

// bytes followed by their Modbus CRC, low byte first: an answer as a module sends it.
inline QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = referenceCrc(bytes);
    return bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
}
