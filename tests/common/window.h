#pragma once
// A window in a temporary program directory whose message boxes are recorded, not shown.
#include "app/frmMain.h"
#include "common/crc.h"

#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

struct WindowHarness
{
    QTemporaryDir dir;
    QList<MessageBoxRequest> messages;
    // Runs while a recorded box is "open": a test can spin the event loop here to keep it open.
    std::function<void()> whileBoxOpen;
    std::unique_ptr<frmMain> window;

    // Writes comm.set (unless contents is null) and creates the window, which loads at once.
    frmMain &open(const QByteArray &commSet = QByteArray());
    void writeCommSet(const QByteArray &contents) const;
    QStringList messageTexts() const;
};

// A register answer from address 1, function 3, carrying raws.
QByteArray registerAnswer(const QList<quint16> &raws);

// Spins the event loop until condition holds or timeoutMs passes; returns the condition.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 3000);
