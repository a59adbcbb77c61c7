#include "common/window.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

frmMain &WindowHarness::open(const QByteArray &commSet)
{
    if (!commSet.isNull())
        writeCommSet(commSet);
    window = std::make_unique<frmMain>(dir.path(), [this](const MessageBoxRequest &request) {
        messages.append(request);
        if (whileBoxOpen)
            whileBoxOpen();
        return int(QMessageBox::Ok);
    });
    return *window;
}

void WindowHarness::writeCommSet(const QByteArray &contents) const
{
    QFile file(dir.filePath(QStringLiteral("comm.set")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

QStringList WindowHarness::messageTexts() const
{
    QStringList texts;
    for (const MessageBoxRequest &m : messages)
        texts << m.text;
    return texts;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

// Another form than the tool's: polynomial 0x8005 shifted left over bit-reversed bytes, the register
// reversed at the end, so a fault in the tool's CRC cannot hide in the test's frames too.
quint16 referenceCrc(const QByteArray &data)
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

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = referenceCrc(bytes);
    return bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray registerAnswer(const QList<quint16> &raws)
{
    QByteArray bytes = QByteArray::fromHex("0103") + char(2 * raws.size());
    for (quint16 raw : raws)
        bytes.append(char(raw >> 8)).append(char(raw & 0xFF));
    return withCrc(bytes);
}
