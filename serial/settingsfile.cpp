#include "serial/settingsfile.h"

#include "app/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <limits>

namespace {

// No real settings line is this long; a huge file is not read whole.
constexpr qint64 kMaxRead = 4096;

bool isSeparator(char c)
{
    return c == ',' || c == ' ' || c == '\r' || c == '\n';
}

// Next field of the line: leading spaces and line ends skipped, ended by comma, space or line end.
QByteArray nextField(const QByteArray &contents, int &pos)
{
    while (pos < contents.size() && (contents[pos] == ' ' || contents[pos] == '\r' || contents[pos] == '\n'))
        ++pos;
    const int start = pos;
    while (pos < contents.size() && !isSeparator(contents[pos]))
        ++pos;
    const QByteArray field = contents.mid(start, pos - start);
    // "5 ,38400": blanks between a number and its comma belong to the separator.
    int after = pos;
    while (after < contents.size() && contents[after] == ' ')
        ++after;
    if (after < contents.size() && contents[after] == ',')
        pos = after + 1;
    return field;
}

template <typename Int>
bool readField(const QByteArray &field, Int &out)
{
    const std::optional<double> number = readNumber(QString::fromLatin1(field));
    if (!number)
        return false;
    const double whole = roundHalfEven(*number);
    if (whole < std::numeric_limits<Int>::min() || whole > std::numeric_limits<Int>::max())
        return false;
    out = static_cast<Int>(whole);
    return true;
}

} // namespace

QString settingsFilePath(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral("comm.set"));
}

QByteArray settingsLine(qint16 port, qint32 rate)
{
    return QByteArray::number(port) + ',' + QByteArray::number(rate) + "\r\n";
}

StoredSettings parseSettings(const QByteArray &contents)
{
    StoredSettings settings;
    int pos = 0;
    const bool portOk = readField(nextField(contents, pos), settings.port);
    const bool rateOk = readField(nextField(contents, pos), settings.rate);
    settings.complete = portOk && rateOk;
    return settings;
}

LoadResult loadSettingsFile(const QString &dir, StoredSettings &settings)
{
    const QString path = settingsFilePath(dir);
    const QFileInfo info(path);
    settings = StoredSettings();
    if (dir.isEmpty() || (!info.exists() && !info.isSymLink()))
        return LoadResult::Missing;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return LoadResult::Unusable;
    settings = parseSettings(file.read(kMaxRead));
    return settings.complete ? LoadResult::Loaded : LoadResult::Unusable;
}

bool storeSettingsFile(const QString &dir, qint16 port, qint32 rate)
{
    if (dir.isEmpty()) // no settings directory: never the working directory
        return false;
    // Written beside the old file and swapped in whole, so a crash or a full disk keeps the old line.
    QSaveFile file(settingsFilePath(dir));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = settingsLine(port, rate);
    if (file.write(line) != line.size())
        return false;
    return file.commit();
}
