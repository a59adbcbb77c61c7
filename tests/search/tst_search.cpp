// The module search over real pseudo-terminals against the virtual module: found by the read-address
// request and used, a collision that leads to the sweep, a stop that restores the window's port, and
// a device that no COMn names linked as the lowest free number.
#include "common/window.h"
#include "polling/Timer.h"
#include "search/modulesearch.h"
#include "search/searchdialog.h"
#include "serial/MSComm.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

const int kSweepMs = 60000; // the searches here need a few dozen tries at most; generous for a busy machine

QStringList cells(const QTableWidget *table, int row)
{
    QStringList out;
    for (int column = 0; column < table->columnCount(); ++column)
        out << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return out;
}

} // namespace

class tst_Search : public QObject
{
    Q_OBJECT

    QProcess m_sim;
    std::unique_ptr<WindowHarness> m_harness;
    ModuleSearch *m_search = nullptr;

    // kv4820-sim with options; returns the path of its pty.
    QString startSim(const QStringList &options)
    {
        m_sim.setStandardErrorFile(QProcess::nullDevice());
        m_sim.start(QStringLiteral(KV_SIM_PATH), options);
        while (!m_sim.canReadLine() && m_sim.waitForReadyRead(5000)) {
        }
        return QString::fromLocal8Bit(m_sim.readLine().trimmed());
    }

    // A window at COM1, 19200, beside the virtual module (linked as COM1 unless unlinked), and the search on it.
    frmMain &openWindow(const QStringList &simOptions, bool linked = true)
    {
        m_harness = std::make_unique<WindowHarness>();
        const QString com1 = m_harness->dir.filePath(QStringLiteral("COM1"));
        if (linked)
            startSim(simOptions + QStringList{QStringLiteral("--link"), com1});
        else
            QFile::link(m_harness->dir.filePath(QStringLiteral("gone")), com1);
        frmMain &window = m_harness->open("1,19200\r\n");
        m_search = new ModuleSearch(&window);
        // Tries long enough for a virtual module slowed down by a busy machine; they are few here.
        m_search->searcher()->setMarginMs(250);
        return window;
    }

    SearchDialog *startSearch(bool allPorts = false)
    {
        m_search->openDialog();
        SearchDialog *dialog = m_search->dialog();
        dialog->scope->setCurrentIndex(allPorts ? 1 : 0);
        dialog->startButton->click();
        return dialog;
    }

private slots:
    void cleanup()
    {
        m_harness.reset();
        m_sim.terminate();
        m_sim.waitForFinished();
    }

    void foundByReadAddressThenUsed()
    {
        frmMain &window = openWindow({"--baud", "38400", "--address", "7", "--values", "2150,4530,0,0,0,0,0,0,0,0"});
        QVERIFY(window.MSComm1->PortOpen());
        // A right click on a label of the group offers the search; the button keeps its own (none).
        QContextMenuEvent onButton(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
        QApplication::sendEvent(window.cmdCom, &onButton);
        QVERIFY(!qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
        QApplication::sendEvent(window.Label3, &onLabel);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menu->actions().at(0)->trigger();
        menu->close();
        SearchDialog *dialog = m_search->dialog();
        QVERIFY(dialog && dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("查找模块"));
        QSignalSpy tries(m_search->searcher(), &Searcher::trying);
        // By keyboard: Enter starts, and once the find is there Enter uses it wherever the focus went.
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(m_search->searcher()->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!m_search->searcher()->isRunning(), kSweepMs);
        QCOMPARE(dialog->finds->rowCount(), 1);
        QCOMPARE(cells(dialog->finds, 0), (QStringList{"COM1", "38400", "7", "2150"}));
        // The rate in force, then the others; no sweep once the address is known.
        QStringList texts;
        for (const QList<QVariant> &t : tries)
            texts << t.at(0).toString();
        QCOMPARE(texts, (QStringList{"COM1, 19200, 读地址", "COM1, 9600, 读地址", "COM1, 38400, 读地址", "COM1, 38400, 地址 7"}));
        QVERIFY(dialog->useButton->isDefault());
        dialog->finds->setFocus();
        QTest::keyClick(dialog->finds, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != dialog->finds);
        dialog->closeButton->setFocus(); // where a disabled "开始查找" used to hand it
        QTest::keyClick(dialog->closeButton, Qt::Key_Return);
        QFile set(m_harness->dir.filePath(QStringLiteral("comm.set")));
        QVERIFY(set.open(QIODevice::ReadOnly));
        QCOMPARE(set.readAll(), QByteArray("1,38400\r\n"));
        QVERIFY(m_harness->messageTexts().contains(QStringLiteral("串口设置保存成功")));
        QCOMPARE(window.txtStationID->text(), QStringLiteral("7"));
        QCOMPARE(window.txtSetID[0]->text(), QStringLiteral("7"));
        window.comDoOnce_Click();
        QTRY_COMPARE_WITH_TIMEOUT(window.txtValue[1]->text(), QStringLiteral("45.30"), 5000);
        QCOMPARE(window.txtValue[0]->text(), QStringLiteral("21.50"));
    }

    void collisionLeadsToSweep()
    {
        openWindow({"--baud", "9600", "--address", "3,7"});
        QSignalSpy tries(m_search->searcher(), &Searcher::trying);
        SearchDialog *dialog = startSearch();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->finds->rowCount() == 2, kSweepMs);
        QCOMPARE(cells(dialog->finds, 0), (QStringList{"COM1", "9600", "3", cells(dialog->finds, 0).at(3)}));
        QCOMPARE(cells(dialog->finds, 1).mid(0, 3), (QStringList{"COM1", "9600", "7"}));
        // Garbled bytes came back at 9600: the sweep starts there, after the three read-address tries.
        QCOMPARE(tries.at(3).at(0).toString(), QStringLiteral("COM1, 9600, 地址 1"));
        QCOMPARE(dialog->finds->currentRow(), 0);
        dialog->stopButton->click();
    }

    void stopRestoresThePort()
    {
        frmMain &window = openWindow({"--no-read-address", "--address", "200"});
        window.cmdOneM_Click(); // polling, which the search stops
        QTRY_VERIFY_WITH_TIMEOUT(window.lblCounter->text().toInt() > 2, 5000);
        window.Timer2->setEnabled(false);
        const QStringList before{window.lblCounter->text(), window.lblErrCounter->text(), window.txtState->text(),
                                 window.txtCommand->text(), window.txtStationID->text()};
        window.Timer2->setEnabled(true);
        QSignalSpy tries(m_search->searcher(), &Searcher::trying);
        SearchDialog *dialog = startSearch();
        QVERIFY(!window.Timer2->Enabled());
        QVERIFY(!window.MSComm1->PortOpen());
        QTRY_VERIFY_WITH_TIMEOUT(!tries.isEmpty() && tries.last().at(0).toString() == "COM1, 19200, 地址 20", kSweepMs);
        dialog->stopButton->click();
        QVERIFY(!m_search->searcher()->isRunning());
        const qsizetype count = tries.size();
        QTest::qWait(300);
        QCOMPARE(tries.size(), count);
        dialog->closeButton->click();
        QVERIFY(window.MSComm1->PortOpen());
        QCOMPARE(window.MSComm1->CommPort(), qint16(1));
        QCOMPARE(window.MSComm1->Settings(), QStringLiteral("19200,N,8,1"));
        QCOMPARE((QStringList{window.lblCounter->text(), window.lblErrCounter->text(), window.txtState->text(),
                              window.txtCommand->text(), window.txtStationID->text()}), before);
        QVERIFY(dialog->finds->rowCount() == 0);
    }

    void unnamedDeviceLinkedAsLowestFreeNumber()
    {
        frmMain &window = openWindow({}, false);
        const QString pty = startSim({"--address", "5"});
        m_search->setSystemPorts([pty] { return QList<SystemPort>{{pty, QStringLiteral("virtual module")}}; });
        SearchDialog *dialog = startSearch(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_search->searcher()->isRunning(), kSweepMs);
        // The link that leads nowhere is listed as such, not skipped.
        QCOMPARE(cells(dialog->finds, 0).mid(0, 2), (QStringList{"COM1", "设备不存在: " + m_harness->dir.filePath("gone")}));
        QCOMPARE(cells(dialog->finds, 1).mid(0, 3), (QStringList{pty + " (virtual module)", "19200", "5"}));
        QCOMPARE(dialog->finds->currentRow(), 1);
        dialog->useButton->click();
        // COM1 is taken by a link that leads nowhere: the device becomes COM2.
        QCOMPARE(QFileInfo(m_harness->dir.filePath(QStringLiteral("COM2"))).symLinkTarget(), pty);
        QCOMPARE(window.CommNum, qint16(2));
        QVERIFY(window.MSComm1->PortOpen());
        QFile set(m_harness->dir.filePath(QStringLiteral("comm.set")));
        QVERIFY(set.open(QIODevice::ReadOnly));
        QCOMPARE(set.readAll(), QByteArray("2,19200\r\n"));
    }
};

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
