#include "app/settingsdir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
extern Q_CORE_EXPORT int qt_ntfs_permission_lookup;
#endif
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

bool samePath(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return !a.isEmpty() && !b.isEmpty() && QDir::cleanPath(a).compare(QDir::cleanPath(b), cs) == 0;
}

// The path with its links resolved, or as given while it does not exist.
QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

bool userCanWrite(const QString &dir)
{
#ifdef Q_OS_WIN
    // Otherwise Qt reads only the read-only attribute, which Program Files does not carry.
    ++qt_ntfs_permission_lookup;
    const bool writable = QFileInfo(dir).isWritable();
    --qt_ntfs_permission_lookup;
    // The rights say nothing of a write-protected stick or a read-only share (nor under Wine): a file
    // made there settles it.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("kv4820-XXXXXX.tmp")));
    return writable && probe.open();
#else
    return QFileInfo(dir).isWritable();
#endif
}

} // namespace

QString chooseSettingsDir(const QString &programDir, const QString &installBinDir, bool programDirWritable,
                          const QString &userConfigDir)
{
    // Root can write /usr/bin, so an installed program is known by its place, not by its rights.
    if (samePath(programDir, installBinDir) || !programDirWritable)
        return userConfigDir;
    return programDir;
}

QString userSettingsDir()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // A relative path is invalid there and would put the settings in the working directory.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config)) {
        QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home)) {
            const passwd *account = getpwuid(getuid());
            home = account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QString();
        }
        // An account whose home is the root directory gets no /.config.
        if (!QDir::isAbsolutePath(home) || QDir::cleanPath(home) == QLatin1String("/"))
            return QString();
        config = home + QStringLiteral("/.config");
    }
    return QDir::cleanPath(config) + QStringLiteral("/kv4820-tool");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/kv4820-tool");
#endif
}

QString settingsDir(const QString &programDir, const QString &installBinDir)
{
    const QString program = resolved(programDir);
    const QString user = userSettingsDir();
    const QString dir = chooseSettingsDir(program, resolved(installBinDir), userCanWrite(program), user);
    // Made now, so the first store can write there; if it cannot be made, that store reports the failure.
    if (dir == user && !dir.isEmpty())
        QDir().mkpath(dir);
    return dir;
}
