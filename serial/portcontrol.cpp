#include "app/frmMain.h"

#include "app/numbers.h"
#include "serial/MSComm.h"
#include "serial/settingsfile.h"

#include <QComboBox>

void frmMain::OpenOnComm()
{
    MSComm1->setRThreshold(1);
    MSComm1->setInputMode(1);
    m_answerThreshold = 0;
}

bool frmMain::TakeChosenPort()
{
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    const int position = selectedEntry(Combo1);
    if (position < 0) {
        MsgBox(QStringLiteral("请选择端口"));
        return false;
    }
    MSComm1->setCommPort(qint16(position + 1));
    CommNum = MSComm1->CommPort();
    return true;
}

void frmMain::OpenChosenPort()
{
    MSComm1->setPortOpen(true);
    OpenOnComm();
    commReady = -1;
    // A new choice: a port still closed is reported again by the next tick, even with none in between.
    m_lastTickMessage.clear();
}

void frmMain::Combo1_Click()
{
    if (!TakeChosenPort())
        return;
    MSComm1->setSettings(lineSettings(CommRate));
    if (MSComm1->PortOpen())
        return;
    OpenChosenPort();
}

void frmMain::cmdCom_Click()
{
    if (!TakeChosenPort())
        return;
    // Only a chosen entry counts; text typed into the rate field is never used.
    const int rateEntry = qMax(selectedEntry(Combo2), 0);
    if (const std::optional<double> rate = readNumber(Combo2->itemText(rateEntry)))
        CommRate = qint32(integerPart(*rate));
    MSComm1->setSettings(lineSettings(CommRate));
    if (MSComm1->PortOpen()) {
        MsgBox(QStringLiteral("所选的串行端口已被其他设备所使用!"), QStringLiteral("系统信息"), QMessageBox::Warning);
        return;
    }
    OpenChosenPort();
    StoreSettings();
}

void frmMain::StoreSettings()
{
    // Reporting a failed write as success would lose the user's settings without a word.
    if (storeSettingsFile(m_programDir, CommNum, CommRate))
        MsgBox(QStringLiteral("串口设置保存成功"), QStringLiteral("系统提示"));
    else
        MsgBox(QStringLiteral("串口设置保存失败!"), QStringLiteral("系统提示"), QMessageBox::Warning);
}

LoadResult frmMain::LoadSettings()
{
    StoredSettings stored;
    const LoadResult result = loadSettingsFile(m_programDir, stored);
    CommNum = stored.port;
    CommRate = stored.rate;
    return result;
}
