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

QByteArray registerAnswer(const QList<quint16> &raws)
{
    QByteArray bytes = QByteArray::fromHex("0103") + char(2 * raws.size());
    for (quint16 raw : raws)
        bytes.append(char(raw >> 8)).append(char(raw & 0xFF));
    return withCrc(bytes);
}
