// Port choice, apply-and-save and the start-up, through the window, over pseudo-terminals linked
// as COMn in the window's program directory.
#include "common/pty.h"
#include "common/window.h"
#include "serial/MSComm.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// How many descriptors of this process have the terminal open (the Pty itself holds one).
int openCount(const QString &device)
{
    int count = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        count += fd.symLinkTarget() == device;
    return count;
}

QString selectedText(const QComboBox *combo)
{
    const int index = selectedEntry(combo);
    return index < 0 ? QString() : combo->itemText(index);
}

// Read-only permissions do not stop root: the immutable attribute does, where the file system has it.
bool setImmutable(const QString &dir, bool on)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

bool acceptsNewFiles(const QString &dir)
{
    QFile probe(QDir(dir).filePath(QStringLiteral("probe")));
    return probe.open(QIODevice::WriteOnly) && probe.remove();
}

void verifyOnlyMessage(const WindowHarness &h, const QString &text, const QString &title,
                       QMessageBox::Icon icon = QMessageBox::NoIcon)
{
    QCOMPARE(h.messageTexts(), QStringList{text});
    QCOMPARE(h.messages[0].title, title);
    QCOMPARE(h.messages[0].icon, icon);
    QCOMPARE(h.messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

} // namespace

class PortControlTest : public QObject
{
    Q_OBJECT
private slots:
    void choiceOpensAtRateInForce_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("entry selected and handler run") << false;
        QTest::newRow("arrow key from COM2") << true;
    }
    void choiceOpensAtRateInForce()
    {
        QFETCH(bool, byKey);
        WindowHarness h;
        Pty com3;
        QVERIFY(com3.linkAs(h.dir.path(), 3));
        frmMain &w = h.open("17,38400\r\n"); // no entry for 17: nothing opened yet
        QVERIFY(!w.MSComm1->PortOpen());
        QTest::keyClick(w.Combo2, Qt::Key_Up); // picking a rate runs nothing; the choice must not use it
        QCOMPARE(selectedText(w.Combo2), QStringLiteral("19200"));
        QCOMPARE(w.CommRate, 38400);
        w.MSComm1->setRThreshold(0);
        if (byKey) {
            w.Combo1->setCurrentIndex(1);
            QTest::keyClick(w.Combo1, Qt::Key_Down);
            QCOMPARE(selectedText(w.Combo1), QStringLiteral("COM3"));
        } else {
            w.Combo1->setCurrentIndex(2);
            w.Combo1_Click();
        }
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(openCount(com3.slavePath()), 2);
        QCOMPARE(com3.baudRate(), 38400);
        QCOMPARE(com3.stopBits(), 1);
        QCOMPARE(int(w.CommNum), 3);
        QCOMPARE(int(w.MSComm1->CommPort()), 3);
        QCOMPARE(int(w.MSComm1->RThreshold()), 1);
        QCOMPARE(int(w.commReady), -1);
        QVERIFY(h.messages.isEmpty());
        QCOMPARE(fileBytes(h.dir.filePath("comm.set")), QByteArray("17,38400\r\n"));
    }

    void anotherChoiceClosesTheFirstPort()
    {
        WindowHarness h;
        Pty com3, com5;
        QVERIFY(com3.linkAs(h.dir.path(), 3) && com5.linkAs(h.dir.path(), 5));
        frmMain &w = h.open("3,19200\r\n");
        QCOMPARE(openCount(com3.slavePath()), 2);
        w.Combo1->setCurrentIndex(4);
        w.Combo1_Click();
        QCOMPARE(openCount(com3.slavePath()), 1);
        QCOMPARE(openCount(com5.slavePath()), 2);
        QCOMPARE(com5.baudRate(), 19200);
        QCOMPARE(int(w.CommNum), 5);
    }

    void choiceOfMissingDeviceIsQuiet()
    {
        WindowHarness h;
        QVERIFY(QFile::link(h.dir.filePath("unplugged"), h.dir.filePath("COM7")));
        frmMain &w = h.open("17,9600\r\n");
        w.Combo1->setCurrentIndex(6);
        w.Combo1_Click();
        QVERIFY(h.messages.isEmpty());
        QCOMPARE(int(w.commReady), -1);
        QCOMPARE(int(w.CommNum), 7);
        QVERIFY(!w.MSComm1->PortOpen());
    }

    void applyAndSave_data()
    {
        QTest::addColumn<int>("rateEntry");
        QTest::addColumn<QString>("typed"); // edit text of Combo2 afterwards; null: untouched
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("rate");
        QTest::newRow("19200 chosen: 33 2C 31 39 32 30 30 0D 0A") << 1 << QString() << QByteArray::fromHex("332C31393230300D0A") << 19200;
        QTest::newRow("38400 chosen") << 2 << QString() << QByteArray("3,38400\r\n") << 38400;
        QTest::newRow("none chosen, 38400 typed: 9600") << -1 << "38400" << QByteArray("3,9600\r\n") << 9600;
        QTest::newRow("38400 chosen, then 19200 typed over it: 9600") << 2 << "19200" << QByteArray("3,9600\r\n") << 9600;
    }
    void applyAndSave()
    {
        QFETCH(int, rateEntry);
        QFETCH(QString, typed);
        QFETCH(QByteArray, file);
        QFETCH(int, rate);
        WindowHarness h;
        Pty com3;
        QVERIFY(com3.linkAs(h.dir.path(), 3));
        frmMain &w = h.open("17,115200\r\nan older, longer line\r\n");
        w.Combo1->setCurrentIndex(2);
        w.Combo2->setCurrentIndex(rateEntry);
        if (!typed.isNull())
            w.Combo2->setEditText(typed);
        w.cmdCom_Click();
        QCOMPARE(fileBytes(h.dir.filePath("comm.set")).toHex(' '), file.toHex(' '));
        verifyOnlyMessage(h, QStringLiteral("串口设置保存成功"), QStringLiteral("系统提示"));
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(com3.baudRate(), rate);
        QCOMPARE(com3.stopBits(), 1);
        QCOMPARE(w.CommRate, rate);
        QCOMPARE(int(w.CommNum), 3);
        QCOMPARE(int(w.MSComm1->RThreshold()), 1);
        QCOMPARE(int(w.commReady), -1);
    }

    void applyWithoutPortRefuses_data()
    {
        QTest::addColumn<QByteArray>("commSet");
        QTest::addColumn<int>("ready");
        QTest::newRow("after COM3 was opened") << QByteArray("3,19200\r\n") << -1;
        QTest::newRow("no port chosen yet") << QByteArray("17,19200\r\n") << 0;
    }
    void applyWithoutPortRefuses()
    {
        QFETCH(QByteArray, commSet);
        QFETCH(int, ready);
        WindowHarness h;
        Pty com3;
        QVERIFY(com3.linkAs(h.dir.path(), 3));
        frmMain &w = h.open(commSet);
        QCOMPARE(int(w.commReady), ready);
        w.Combo1->setCurrentIndex(-1);
        w.Combo1->setEditText(QStringLiteral("COM3"));
        w.Combo2->setCurrentIndex(2);
        w.cmdCom_Click();
        verifyOnlyMessage(h, QStringLiteral("请选择端口"), QStringLiteral("Morvane"));
        QVERIFY(!w.MSComm1->PortOpen());
        QCOMPARE(openCount(com3.slavePath()), 1);
        QCOMPARE(fileBytes(h.dir.filePath("comm.set")), commSet);
        QCOMPARE(int(w.commReady), ready);
    }

    void failedStoreIsReported()
    {
        WindowHarness h;
        Pty com3;
        QVERIFY(com3.linkAs(h.dir.path(), 3));
        frmMain &w = h.open("3,19200\r\n");
        QFile::setPermissions(h.dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const bool immutable = acceptsNewFiles(h.dir.path()) && setImmutable(h.dir.path(), true);
        const auto unlock = qScopeGuard([&] {
            if (immutable)
                setImmutable(h.dir.path(), false);
            QFile::setPermissions(h.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (acceptsNewFiles(h.dir.path()))
            QSKIP("this file system lets this user write into a read-only directory");
        w.Combo2->setCurrentIndex(2);
        w.cmdCom_Click();
        verifyOnlyMessage(h, QStringLiteral("串口设置保存失败!"), QStringLiteral("系统提示"), QMessageBox::Warning);
        QCOMPARE(fileBytes(h.dir.filePath("comm.set")), QByteArray("3,19200\r\n"));
        QVERIFY(w.MSComm1->PortOpen());
        QCOMPARE(com3.baudRate(), 38400);
        QCOMPARE(w.CommRate, 38400);
        QCOMPARE(int(w.commReady), -1);
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("commSet"); // null: no file; "<dir>": a directory named comm.set
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("rateShown"); // selected Combo2 entry, empty for none
        QTest::addColumn<QString>("rateEdit");
        QTest::addColumn<QString>("portShown"); // selected Combo1 entry, empty for none
        QTest::addColumn<int>("baud");          // rate on the far end of the opened port; 0: closed
        // A start-up that reports the port as not opened leaves it closed, even where the choice opened it.
        QTest::addColumn<int>("ready");
        QTest::addColumn<bool>("report");
        const QString none;
        QTest::newRow("3,19200") << QByteArray("3,19200\r\n") << 3 << 19200 << "19200" << "19200" << "COM3" << 19200 << -1 << false;
        QTest::newRow("3,0 opens at 9600") << QByteArray("3,0\r\n") << 3 << 9600 << "9600" << "9600" << "COM3" << 9600 << -1 << false;
        QTest::newRow("2,38400") << QByteArray("2,38400\r\n") << 2 << 38400 << "38400" << "38400" << "COM2" << 38400 << -1 << false;
        QTest::newRow("17,9600 has no entry") << QByteArray("17,9600\r\n") << 17 << 9600 << "9600" << "9600" << none << 0 << 0 << false;
        QTest::newRow("3,4800 not in the list") << QByteArray("3,4800\r\n") << 3 << 4800 << none << "19200" << "COM3" << 4800 << -1 << false;
        QTest::newRow("no file") << QByteArray() << 0 << 9600 << "9600" << "9600" << none << 0 << 0 << false;
        QTest::newRow("empty file") << QByteArray("") << 0 << 9600 << "9600" << "9600" << none << 0 << 0 << true;
        QTest::newRow("directory") << QByteArray("<dir>") << 0 << 9600 << "9600" << "9600" << none << 0 << 0 << true;
        QTest::newRow("garbage") << QByteArray("port three\r\n") << 0 << 9600 << "9600" << "9600" << none << 0 << 0 << true;
        QTest::newRow("one number") << QByteArray("3\r\n") << 3 << 9600 << "9600" << "9600" << "COM3" << 0 << 0 << true;
        QTest::newRow("70000,9600 too large") << QByteArray("70000,9600\r\n") << 0 << 9600 << "9600" << "9600" << none << 0 << 0 << true;
        QTest::newRow("3,12345 refused rate") << QByteArray("3,12345\r\n") << 3 << 12345 << none << "19200" << "COM3" << 0 << 0 << true;
        QTest::newRow("300,9600 refused port") << QByteArray("300,9600\r\n") << 300 << 9600 << "9600" << "9600" << none << 0 << 0 << true;
    }
    void startUp()
    {
        QFETCH(QByteArray, commSet);
        QFETCH(int, port);
        QFETCH(int, rate);
        QFETCH(QString, rateShown);
        QFETCH(QString, rateEdit);
        QFETCH(QString, portShown);
        QFETCH(int, baud);
        QFETCH(int, ready);
        QFETCH(bool, report);
        WindowHarness h;
        Pty com2, com3;
        QVERIFY(com2.linkAs(h.dir.path(), 2) && com3.linkAs(h.dir.path(), 3));
        const QString file = h.dir.filePath("comm.set");
        if (commSet == "<dir>")
            QVERIFY(QDir(h.dir.path()).mkdir("comm.set"));
        frmMain &w = commSet == "<dir>" ? h.open() : h.open(commSet);

        QCOMPARE(int(w.CommNum), port);
        QCOMPARE(w.CommRate, rate);
        QCOMPARE(selectedText(w.Combo2), rateShown);
        QCOMPARE(w.Combo2->currentText(), rateEdit);
        QCOMPARE(selectedText(w.Combo1), portShown);
        if (portShown.isEmpty())
            QCOMPARE(w.Combo1->currentText(), QStringLiteral("COM4"));
        QCOMPARE(w.MSComm1->PortOpen(), baud != 0);
        if (baud)
            QCOMPARE((port == 2 ? com2 : com3).baudRate(), baud);
        QCOMPARE(int(w.commReady), ready);
        QCOMPARE(w.txtStationID->text(), QStringLiteral("1"));
        QCOMPARE(int(w.MSComm1->RThreshold()), 1);
        if (report)
            verifyOnlyMessage(h, QStringLiteral("请检查串口端口,串口端口%1无法打开!").arg(port), QStringLiteral("VORN系统出错提示"));
        else
            QVERIFY(h.messages.isEmpty());
        if (commSet.isNull())
            QVERIFY(!QFile::exists(file));
        else if (commSet != "<dir>")
            QCOMPARE(fileBytes(file), commSet); // the start-up writes nothing
    }

    void saveAfterStartUp_data()
    {
        QTest::addColumn<QByteArray>("commSet");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<int>("baud");
        QTest::newRow("2,38400 keeps 38400") << QByteArray("2,38400\r\n") << QByteArray("2,38400\r\n") << 38400;
        QTest::newRow("3,4800 stores 9600") << QByteArray("3,4800\r\n") << QByteArray("3,9600\r\n") << 9600;
    }
    void saveAfterStartUp()
    {
        QFETCH(QByteArray, commSet);
        QFETCH(QByteArray, saved);
        QFETCH(int, baud);
        WindowHarness h;
        Pty com2, com3;
        QVERIFY(com2.linkAs(h.dir.path(), 2) && com3.linkAs(h.dir.path(), 3));
        frmMain &w = h.open(commSet);
        w.cmdCom_Click();
        QCOMPARE(fileBytes(h.dir.filePath("comm.set")), saved);
        QCOMPARE((w.CommNum == 2 ? com2 : com3).baudRate(), baud);
        QCOMPARE(h.messageTexts(), QStringList{QStringLiteral("串口设置保存成功")});
    }
};

QTEST_MAIN(PortControlTest)
#include "tst_portcontrol.moc"
