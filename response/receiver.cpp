#include "app/frmMain.h"

#include "modbus/codec.h"
#include "response/decode.h"
#include "serial/MSComm.h"

#include <QLabel>
#include <QLineEdit>

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
        // Noise passes a 16-bit CRC once in 65536 tries; the head must be the answer's as well.
        if (!answerCrcMatches(answer, expectedLength) || !answer.startsWith(m_readHead))
            return;
        DecodeRegisters(answer);
        break;
    case 15:
        if (answer.size() >= 4 && byteAt(answer, 1) == 0x06) {
            // The module echoes the write (addr 06 0B 00 00 new): its byte 3 is always 0, the new address is byte 5.
            const bool echo = answer.size() >= 6 && byteAt(answer, 2) == 0x0B && byteAt(answer, 3) == 0x00;
            txtStationID->setText(QString::number(byteAt(answer, echo ? 5 : 3)));
        }
        break;
    case 16:
        if (answer.size() >= 4 && byteAt(answer, 1) == 0x25) {
            txtStationID->setText(QString::number(byteAt(answer, 3)));
            txtSetID[0]->setText(QString::number(byteAt(answer, 3)));
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
    QStringList shown(10);
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
            shown[slot] = raw == kFaultValue ? QString() : text;
        }
    }
    emit valuesDecoded(shown);
}
