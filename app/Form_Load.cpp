#include "app/frmMain.h"

#include "app/numbers.h"
#include "serial/MSComm.h"

#include <QComboBox>
#include <QLineEdit>

void frmMain::Form_Load()
{
    PictureShow->setVisible(true);
    const LoadResult loaded = LoadSettings();
    txtStationID->setText(QStringLiteral("1"));
    const bool portAccepted = MSComm1->setCommPort(CommNum);
    MSComm1->setInputMode(1);
    MSComm1->setInputLen(0);
    MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    MSComm1->setSThreshold(0);
    MSComm1->setRThreshold(1);
    if (CommRate == 0)
        CommRate = 9600;
    const bool rateAccepted = MSComm1->setSettings(lineSettings(CommRate));

    for (int i = 0; i < Combo2->count(); ++i) {
        if (readNumber(Combo2->itemText(i)) == double(CommRate)) {
            Combo2->setCurrentIndex(i);
            break;
        }
    }

    const QString stored = QStringLiteral("COM") + QString::number(CommNum);
    for (int position = 0; position <= 24; ++position) {
        const QString entry = position < Combo1->count() ? Combo1->itemText(position) : QString();
        if (entry == stored) {
            Combo1->setCurrentIndex(position);
            Combo1_Click();
            break;
        }
    }

    // A fresh install has no comm.set and opens quietly; a file that cannot be used is reported once.
    if (loaded != LoadResult::Missing && (loaded == LoadResult::Unusable || !portAccepted || !rateAccepted)) {
        MsgBox(QStringLiteral("请检查串口端口,串口端口") + QString::number(CommNum) + QStringLiteral("无法打开!"),
               QStringLiteral("VORN系统出错提示"));
        commReady = 0;
        // The port may have opened with settings other than the stored ones: the report says it did not.
        MSComm1->setPortOpen(false);
    }
}
