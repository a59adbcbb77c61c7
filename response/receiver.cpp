#include "app/frmMain.h"

#include "modbus/codec.h"
#include "response/decode.h"
#include "response/valuerows.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QtNumeric>

namespace {

// One more, wrapping rather than overflowing after two thousand million notifications.
qint32 advanced(qint32 count)
{
    return qint32(quint32(count) + 1u);
}

quint8 byteAt(const QByteArray &bytes, int index)
{
    return quint8(bytes.at(index));
}

} // namespace

void frmMain::MSComm1_OnComm()
{
    // The echo of a change of address is 8 bytes and the notification comes at 6: wait for the rest.
    if (requestKind == 15 && MSComm1->CommEvent() == MSComm::comEvReceive
        && MSComm1->InBufferCount() < m_sentFrame.size() && m_sentFrame.startsWith(MSComm1->PeekInput())) {
        MSComm1->setRThreshold(qint16(m_sentFrame.size()));
        return;
    }
    receiveCount = advanced(receiveCount);
    lblErrCounter->setText(QString::number(receiveCount));
    if (MSComm1->CommEvent() != MSComm::comEvReceive)
        return;
    const QByteArray answer = MSComm1->Input();
    MSComm1->setInBufferCount(0);
    ShowAnswer(answer);
}

void frmMain::ShowAnswer(const QByteArray &answer)
{
    txtState->setText(answerHexText(answer));

    switch (requestKind) {
    case 1:
        // A short or corrupted answer must not be shown as measurements: the boxes stay red.
        if (!registerAnswerAccepted(answer, m_sentFrame))
            return;
        DecodeRegisters(answer);
        break;
    case 15:
        if (const std::optional<quint8> address = changeAddressAnswer(answer, m_sentFrame))
            txtStationID->setText(QString::number(*address));
        break;
    case 16:
        if (const std::optional<quint8> address = readAddressAnswer(answer)) {
            txtStationID->setText(QString::number(*address));
            txtSetID[0]->setText(QString::number(*address));
        }
        break;
    default:
        break;
    }
    ShowLamp(imgConnected);
}

void frmMain::DecodeRegisters(const QByteArray &answer)
{
    int slot = firstSlot(txtStartID->text());
    QStringList shown(kValueRowCount);
    QList<double> values(kValueRowCount, qQNaN());
    // A byte past the end keeps the value it had for the previous register.
    quint8 high = 0, low = 0;
    for (int k = 3; k <= expectedLength - 3; k += 2, ++slot) {
        if (k < answer.size())
            high = byteAt(answer, k);
        if (k + 1 < answer.size())
            low = byteAt(answer, k + 1);
        const quint16 raw = quint16(high << 8 | low);
        QString text;
        if (raw == kFaultValue) {
            receiveCount = advanced(receiveCount);
            lblErrCounter->setText(QString::number(receiveCount));
            text = QStringLiteral("0");
        } else {
            text = registerText(raw);
        }
        if (slot >= 0 && slot <= 9) {
            // Laying out a box's text is the dearest step here; slowly drifting values often repeat.
            if (txtValue[slot]->text() != text)
                txtValue[slot]->setText(text);
            setTextColor(txtValue[slot], QColor(0, 0, 0));
            if (raw != kFaultValue) {
                shown[slot] = text;
                values[slot] = registerValue(raw);
            }
        }
    }
    emit valuesDecoded(shown, values);
}
