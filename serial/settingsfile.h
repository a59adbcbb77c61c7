#pragma once
// The one line of comm.set: port number, comma, rate, CR LF.
#include <QByteArray>
#include <QString>

QByteArray settingsLine(qint16 port, qint32 rate);

struct StoredSettings
{
    qint16 port = 0;
    qint32 rate = 0;
    bool complete = false; // both numbers were read and fit their fields
};

// Reads the two numbers of a settings file's contents. What cannot be read stays 0.
StoredSettings parseSettings(const QByteArray &contents);

enum class LoadResult { Loaded, Missing, Unusable };

// Reads comm.set from dir into settings.
LoadResult loadSettingsFile(const QString &dir, StoredSettings &settings);

// Replaces comm.set in dir atomically; false when it could not be written.
bool storeSettingsFile(const QString &dir, qint16 port, qint32 rate);

QString settingsFilePath(const QString &dir);
