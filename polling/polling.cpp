#include "app/frmMain.h"

#include "app/numbers.h"
#include "polling/Timer.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>

void frmMain::cmdOneM_Click()
{
    PictureShow->setVisible(true);
    lblCounter->setText(QStringLiteral("1"));
    receiveCount = 1;
    lblErrCounter->setText(QStringLiteral("1"));
    m_lastTickMessage.clear();
    const std::optional<double> interval = readNumber(txtTimerSet->text());
    if (!interval) {
        MsgBox(QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为100-60000!"));
        return;
    }
    const double whole = integerPart(*interval);
    if (whole > 60000 || whole < 50) {
        MsgBox(QStringLiteral("你输入的定时时长格式有误，应该为数字，值范围为50-60000!"));
        return;
    }
    Timer2->setInterval(int(roundHalfEven(*interval)));
    Timer2->setEnabled(true);
}

void frmMain::cmdStopOnce_Click()
{
    PictureShow->setVisible(true);
    Timer2->setEnabled(false);
}

void frmMain::Timer2_Timer()
{
    // A tick while a message box is open would stack another box on it.
    if (m_messageBoxOpen)
        return;
    if (!readNumber(txtDataLength->text()))
        txtDataLength->setText(QStringLiteral("1"));
    double counter = readNumber(lblCounter->text()).value_or(0);
    if (counter > 65535) {
        counter = 0;
        lblCounter->setText(QStringLiteral("0"));
    }
    if (!commReady)
        return;
    // The event loop may hand over this tick before an answer that came in ahead of it: the next
    // request would discard that answer.
    MSComm1->deliverWaiting();
    lblCounter->setText(QString::number(qint64(counter) + 1));
    m_inTick = true;
    m_tickMessage.clear();
    comDoOnce_Click();
    m_inTick = false;
    m_lastTickMessage = m_tickMessage;
}
