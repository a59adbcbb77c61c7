// An adapter that echoes, played by the virtual module with --echo, over a real pseudo-terminal: the
// window and the search take the module's answers, never the adapter's copy of the request.
#include "common/window.h"
#include "polling/Timer.h"
#include "search/searcher.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

const QStringList kValues{"--values", "2150,4530,-5,0,0,0,0,0,0,0"};

} // namespace

class tst_Echo : public QObject
{
    Q_OBJECT

    QProcess m_sim;
    std::unique_ptr<WindowHarness> m_harness;

    // The virtual module behind an echoing adapter at address 7; returns its pty.
    QString startSim(const QString &link = QString())
    {
        QStringList options = QStringList{"--echo", "--address", "7", "--quiet"} + kValues;
        if (!link.isEmpty())
            options << "--link" << link;
        m_sim.start(QStringLiteral(KV_SIM_PATH), options);
        while (!m_sim.canReadLine() && m_sim.waitForReadyRead(5000)) {
        }
        return QString::fromLocal8Bit(m_sim.readLine().trimmed());
    }

    frmMain &openWindow()
    {
        m_harness = std::make_unique<WindowHarness>();
        startSim(m_harness->dir.filePath(QStringLiteral("COM1")));
        frmMain &window = m_harness->open("1,19200\r\n");
        window.txtStationID->setText(QStringLiteral("7"));
        return window;
    }

    static void readOnce(frmMain &window)
    {
        const qint32 before = window.receiveCount;
        window.comDoOnce_Click();
        QTRY_VERIFY_WITH_TIMEOUT(window.receiveCount != before, 5000);
    }

private slots:
    void cleanup()
    {
        m_harness.reset();
        m_sim.terminate();
        m_sim.waitForFinished();
    }

    // learnt: a read first, so the line is known to echo before the command.
    void commandsTakeTheModulesAnswer_data()
    {
        QTest::addColumn<bool>("learnt");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("from"); // the module addressed by a change of address
        QTest::addColumn<QString>("station");
        QTest::newRow("read") << false << "read" << "" << "7";
        QTest::newRow("read address") << false << "read address" << "" << "7";
        QTest::newRow("change address") << true << "change" << "7" << "9";
        // Only the adapter's copy comes back: nothing confirms the change.
        QTest::newRow("change, nobody answers") << true << "change" << "8" << "7";
    }

    void commandsTakeTheModulesAnswer()
    {
        QFETCH(bool, learnt);
        QFETCH(QString, command);
        QFETCH(QString, from);
        QFETCH(QString, station);
        frmMain &window = openWindow();
        QVERIFY(window.MSComm1->PortOpen());
        if (learnt) {
            readOnce(window);
            QVERIFY(window.MSComm1->echoes());
        }
        const qint32 before = window.receiveCount;
        if (command == "read") {
            readOnce(window);
            QCOMPARE(window.txtValue[0]->text(), QStringLiteral("21.50"));
            QCOMPARE(window.txtValue[2]->text(), QStringLiteral("-0.05"));
            QCOMPARE(textColor(window.txtValue[1]), QColor(0, 0, 0));
            QVERIFY(window.txtState->text().startsWith(QStringLiteral(" 07 03 14 08 66")));
        } else if (command == "read address") {
            window.txtStationID->setText(QStringLiteral("1")); // what the answer replaces
            window.cmdReadAdd_Click();
            QTRY_COMPARE_WITH_TIMEOUT(window.txtSetID[0]->text(), QStringLiteral("7"), 5000);
            QCOMPARE(window.txtState->text().left(9), QStringLiteral(" 07 25 02"));
        } else {
            window.txtSetID[0]->setText(from);
            window.txtSetID[1]->setText(QStringLiteral("9"));
            window.cmdChangeID_Click();
            QTest::qWait(300); // the adapter's copy and the module's answer are long in by then
        }
        QCOMPARE(window.txtStationID->text(), station);
        QVERIFY(window.MSComm1->echoes());
        // One notification per answer, none for a copy alone.
        QCOMPARE(window.receiveCount - before, station == "7" && command == "change" ? 0 : 1);
    }

    void pollingDecodesEveryAnswer()
    {
        frmMain &window = openWindow();
        QSignalSpy decoded(&window, &frmMain::valuesDecoded);
        window.txtTimerSet->setText(QStringLiteral("50"));
        window.cmdOneM_Click();
        QTRY_VERIFY_WITH_TIMEOUT(decoded.size() >= 40, 20000);
        window.cmdStopOnce_Click();
        // Both counters start at 1 with polling.
        const int sent = window.lblCounter->text().toInt() - 1;
        QTRY_COMPARE_WITH_TIMEOUT(int(decoded.size()), sent, 2000);
        QCOMPARE(window.receiveCount, sent + 1);
        for (const QList<QVariant> &values : decoded)
            QCOMPARE(values.at(1).value<QList<double>>().at(0), 21.5);
    }

    void searchFindsTheModule()
    {
        const QTemporaryDir dir;
        const QString pty = startSim();
        Searcher searcher(dir.path());
        searcher.setMarginMs(250);
        QSignalSpy found(&searcher, &Searcher::found);
        searcher.start({SearchPort{pty, 0, pty}}, 9600);
        QTRY_VERIFY_WITH_TIMEOUT(!searcher.isRunning(), 60000);
        QCOMPARE(found.size(), 1);
        const auto find = found.at(0).at(0).value<SearchFind>();
        QCOMPARE((QList<int>{find.rate, find.address, find.value}), (QList<int>{19200, 7, 2150}));
    }
};

QTEST_MAIN(tst_Echo)
#include "tst_echo.moc"
