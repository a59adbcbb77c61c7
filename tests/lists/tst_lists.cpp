// The port and rate lists over the real widgets, in a shown window: an entry is chosen through the
// list, the arrow keys or the start-up, never by the text of the field.
#include "common/window.h"
#include "serial/MSComm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Gives the list the keyboard focus, as a click into its field does.
bool focusInto(QComboBox *combo)
{
    combo->activateWindow();
    combo->setFocus(Qt::MouseFocusReason);
    return QTest::qWaitFor([combo] { return combo->hasFocus(); }, 2000);
}

} // namespace

class ListsTest : public QObject
{
    Q_OBJECT
private slots:
    // Leaving the field, or Enter in it, selects nothing, whatever it reads; apply-and-save then
    // finds no port chosen, or no rate chosen (and stores 9600).
    void fieldTextChoosesNothing_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("typed"); // null: the field keeps the text it shows
        QTest::addColumn<bool>("enter");    // left by Enter, else by the focus moving on
        QTest::addColumn<QByteArray>("stored"); // comm.set after apply-and-save; null: none written
        QTest::newRow("COM4 as shown, focus out") << "Combo1" << QString() << false << QByteArray();
        QTest::newRow("COM2 typed, focus out") << "Combo1" << "COM2" << false << QByteArray();
        QTest::newRow("COM4 as shown, Enter") << "Combo1" << QString() << true << QByteArray();
        QTest::newRow("COM2 typed, Enter") << "Combo1" << "COM2" << true << QByteArray();
        QTest::newRow("COM typed, focus out") << "Combo1" << "COM" << false << QByteArray();
        QTest::newRow("38400 typed, focus out") << "Combo2" << "38400" << false << QByteArray("3,9600\r\n");
        QTest::newRow("38400 typed, Enter") << "Combo2" << "38400" << true << QByteArray("3,9600\r\n");
    }
    void fieldTextChoosesNothing()
    {
        QFETCH(QString, list);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        QFETCH(QByteArray, stored);
        WindowHarness h;
        // The rate list is tried with COM3 chosen at start-up; the port list on a fresh install.
        frmMain &w = list == QLatin1String("Combo2") ? h.open("3,19200\r\n") : h.open();
        const qint16 port = w.CommNum;
        QComboBox *combo = list == QLatin1String("Combo1") ? w.Combo1 : w.Combo2;
        const int selected = selectedEntry(combo);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(focusInto(combo));
        if (!typed.isNull()) {
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo, typed);
        }
        const QString shown = typed.isNull() ? combo->currentText() : typed;
        if (enter)
            QTest::keyClick(combo, Qt::Key_Return);
        else
            w.txtStationID->setFocus(Qt::MouseFocusReason);
        QVERIFY(!combo->hasFocus() || enter);

        QCOMPARE(combo->currentText(), shown);
        QCOMPARE(selectedEntry(combo), typed.isNull() ? selected : -1);
        QCOMPARE(w.CommNum, port);
        QVERIFY(h.messages.isEmpty());
        w.cmdCom_Click();
        QCOMPARE(fileBytes(h.dir.filePath(QStringLiteral("comm.set"))), stored);
        if (stored.isNull())
            QCOMPARE(h.messageTexts(), QStringList{QStringLiteral("请选择端口")});
    }

    // A click on an entry of the open list, and each step of the arrow keys, is a choice.
    void listAndArrowKeysChoose()
    {
        WindowHarness h;
        frmMain &w = h.open();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Combo1->showPopup();
        QAbstractItemView *entries = w.Combo1->view();
        QVERIFY(QTest::qWaitForWindowExposed(entries->window()));
        const QRect second = entries->visualRect(entries->model()->index(1, 0));
        QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(w.CommNum, qint16(2));
        QCOMPARE(int(w.commReady), -1);
        QVERIFY(focusInto(w.Combo1));
        QTest::keyClick(w.Combo1, Qt::Key_Down);
        QCOMPARE(w.CommNum, qint16(3));
        QTest::keyClick(w.Combo1, Qt::Key_Down);
        QCOMPARE(w.CommNum, qint16(4));
        QCOMPARE(selectedEntry(w.Combo1), 3);

        QVERIFY(focusInto(w.Combo2));
        QTest::keyClick(w.Combo2, Qt::Key_Down);
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("19200"));
        QCOMPARE(w.CommRate, 9600); // a rate reaches the line only with apply-and-save
        w.cmdCom_Click();
        QCOMPARE(fileBytes(h.dir.filePath(QStringLiteral("comm.set"))), QByteArray("4,19200\r\n"));
    }

    // One wheel notch over a list chooses only while the list has the focus; a real wheel event
    // would give the focus to a list that takes it by the wheel, so none may.
    void wheelChoosesOnlyWithFocus_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("port"); // CommNum afterwards: 3 means the port choice ran
        QTest::newRow("Combo1 passing") << "Combo1" << false << "COM2" << 2;
        QTest::newRow("Combo1 focused") << "Combo1" << true << "COM3" << 3;
        QTest::newRow("Combo2 passing") << "Combo2" << false << "9600" << 2;
        QTest::newRow("Combo2 focused") << "Combo2" << true << "19200" << 2;
    }
    void wheelChoosesOnlyWithFocus()
    {
        QFETCH(QString, list);
        QFETCH(bool, focused);
        QFETCH(QString, shown);
        QFETCH(int, port);
        WindowHarness h;
        frmMain &w = h.open("2,9600\r\n");
        QComboBox *combo = list == QLatin1String("Combo1") ? w.Combo1 : w.Combo2;
        QVERIFY(combo->focusPolicy() != Qt::WheelFocus);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txtStationID->setFocus(Qt::MouseFocusReason);
        if (focused)
            QVERIFY(focusInto(combo));
        const QPointF at = combo->rect().center();
        QWheelEvent notch(at, combo->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &notch);
        QCOMPARE(combo->currentText(), shown);
        QCOMPARE(int(w.CommNum), port);
        w.cmdCom_Click();
        QCOMPARE(fileBytes(h.dir.filePath(QStringLiteral("comm.set"))),
                 QStringLiteral("%1,%2\r\n").arg(port).arg(list == QLatin1String("Combo2") ? shown : "9600").toLatin1());
    }
};

QTEST_MAIN(ListsTest)
#include "tst_lists.moc"
