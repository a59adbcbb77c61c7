// kv4820: the module from a terminal, a script or a pipe, with the window's code for the line.
#include "app/settingsdir.h"
#include "cli/commands.h"

#include <QCoreApplication>
#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv4820"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
#ifdef Q_OS_WIN
    // The CSV rows carry their own CRLF, and the names are UTF-8.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
    // Where the window keeps comm.set and the COMn links, so a port and rate mean the same here.
    const QString dir = settingsDir(QCoreApplication::applicationDirPath(), QStringLiteral(KV_INSTALL_BINDIR));
    Options options;
    QString refusal;
    if (!parseArguments(QCoreApplication::arguments(), dir, &options, &refusal)) {
        const QString help = options.command.isEmpty() ? QStringLiteral("kv4820 --help") : "kv4820 " + options.command + " --help";
        std::fputs(QStringLiteral("kv4820: %1 (see %2)\n").arg(refusal, help).toUtf8().constData(), stderr);
        return kRefused;
    }
    return runCommand(options, dir);
}
