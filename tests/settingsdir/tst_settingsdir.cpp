// Where comm.set and the COMn links live: beside a program in a folder of its own, in the user's
// configuration for an installed program or one in a folder its user cannot write.
#include "app/frmMain.h"
#include "app/settingsdir.h"
#include "common/pty.h"
#include "serial/MSComm.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <pwd.h>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class SettingsDirTest : public QObject
{
    Q_OBJECT
private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("installBinDir");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("userDir");
        QTest::newRow("folder of its own") << "/home/eng/kv/run" << "/usr/bin" << true << false;
        QTest::newRow("folder the user cannot write") << "/media/eng/STICK/kv" << "/usr/bin" << false << true;
        QTest::newRow("installed, writable by root") << "/usr/bin" << "/usr/bin" << true << true;
        QTest::newRow("installed under another prefix") << "/opt/kv/bin" << "/opt/kv/bin" << false << true;
        QTest::newRow("install dir with a trailing slash") << "/usr/local/bin" << "/usr/local/bin/" << true << true;
        QTest::newRow("install dir with a dot-dot") << "/usr/bin" << "/usr/lib/../bin" << true << true;
        QTest::newRow("name that starts like the install dir") << "/usr/local/bin2" << "/usr/local/bin" << true
                                                               << false;
        QTest::newRow("folder inside the install dir") << "/usr/bin/kv" << "/usr/bin" << true << false;
        QTest::newRow("no install dir known") << "/home/eng/kv" << "" << true << false;
    }
    void choice()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, installBinDir);
        QFETCH(bool, writable);
        QFETCH(bool, userDir);
        const QString user = QStringLiteral("/home/eng/.config/kv4820-tool");
        QCOMPARE(chooseSettingsDir(programDir, installBinDir, writable, user), userDir ? user : programDir);
    }

    // Relative XDG_CONFIG_HOME is ignored, an unset or empty HOME falls back to the account's home,
    // and a home that is the root directory gives no directory at all.
    void userDirFromEnvironment_data()
    {
        QTest::addColumn<QString>("xdg"); // null: unset
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("expected"); // "~": the account's home; empty: none
        const QString none;
        QTest::newRow("absolute XDG") << "/cfg" << "/home/eng" << "/cfg/kv4820-tool";
        QTest::newRow("relative XDG") << "cfg" << "/home/eng" << "/home/eng/.config/kv4820-tool";
        QTest::newRow("no XDG") << none << "/home/eng/" << "/home/eng/.config/kv4820-tool";
        QTest::newRow("HOME unset") << none << none << "~";
        QTest::newRow("HOME empty") << "" << "" << "~";
        QTest::newRow("HOME relative") << none << "eng" << "~";
        QTest::newRow("HOME is /") << "cfg" << "/" << "";
    }
    void userDirFromEnvironment()
    {
        QFETCH(QString, xdg);
        QFETCH(QString, home);
        QFETCH(QString, expected);
        const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME"), savedHome = qgetenv("HOME");
        const auto set = [](const char *name, const QString &value) {
            value.isNull() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
        };
        set("XDG_CONFIG_HOME", xdg);
        set("HOME", home);
        QTemporaryDir cwd;
        const QString savedCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        const QString dir = userSettingsDir();
        // Installed, so the user's directory is chosen; tried only where none may be made.
        const QString installed = expected.isEmpty() ? settingsDir(cwd.path(), cwd.path()) : QStringLiteral("-");
        QDir::setCurrent(savedCwd);
        qputenv("XDG_CONFIG_HOME", savedXdg);
        qputenv("HOME", savedHome);
        const passwd *account = getpwuid(getuid());
        QVERIFY(account);
        QCOMPARE(dir, expected == "~" ? QFile::decodeName(account->pw_dir) + "/.config/kv4820-tool" : expected);
        if (expected.isEmpty()) {
            QCOMPARE(installed, QString());
            QCOMPARE(entries(cwd.path()), QStringList());
        }
    }

    void readBackAtNextStart_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("folder of its own: beside the program") << false;
        QTest::newRow("installed: in the user's configuration") << true;
    }
    // A port mapped and saved in the chosen directory is open again at the next start, at the saved rate,
    // and nothing lands in the other directory.
    void readBackAtNextStart()
    {
        QFETCH(bool, installed);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString program = root.filePath(QStringLiteral("bin"));
        const QString config = root.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(program));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        const QString user = config + QStringLiteral("/kv4820-tool");
        const QString installBinDir = installed ? program : root.filePath(QStringLiteral("usr/bin"));

        const QString dir = settingsDir(program, installBinDir);
        QCOMPARE(dir, installed ? user : program);
        QCOMPARE(QFileInfo(user).isDir(), installed); // made only when chosen

        Pty com2;
        QVERIFY(com2.linkAs(dir, 2));
        QStringList messages;
        const auto sink = [&messages](const MessageBoxRequest &request) {
            messages << request.text;
            return int(QMessageBox::Ok);
        };
        {
            frmMain first(dir, sink);
            first.Combo1->setCurrentIndex(1);
            first.Combo1_Click();
            first.Combo2->setCurrentIndex(first.Combo2->findText(QStringLiteral("19200")));
            first.cmdCom_Click();
        }
        QCOMPARE(messages, QStringList{QStringLiteral("串口设置保存成功")});
        QCOMPARE(fileBytes(QDir(dir).filePath(QStringLiteral("comm.set"))), QByteArray("2,19200\r\n"));
        QCOMPARE(entries(program), installed ? QStringList() : QStringList({"COM2", "comm.set"}));

        messages.clear();
        QCOMPARE(settingsDir(program, installBinDir), dir);
        frmMain next(dir, sink);
        QCOMPARE(next.Combo1->currentText(), QStringLiteral("COM2"));
        QVERIFY(next.MSComm1->PortOpen());
        QCOMPARE(com2.baudRate(), 19200);
        QVERIFY(messages.isEmpty());
    }
};

QTEST_MAIN(SettingsDirTest)
#include "tst_settingsdir.moc"
