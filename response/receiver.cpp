#include "app/frmMain.h"

#include "modbus/codec.h"
#include "response/decode.h"
#include "response/echo.h"
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
    if (MSComm1->CommEvent() == MSComm::comEvReceive && AwaitRest())
        return;
    receiveCount = advanced(receiveCount);
    lblErrCounter->setText(QString::number(receiveCount));
    if (MSComm1->CommEvent() != MSComm::comEvReceive)
        return;
    QByteArray answer = MSComm1->Input();
    MSComm1->setInBufferCount(0);
    // The adapter's copy of the request is set aside, whatever noise did to it.
    if (MSComm1->echoes())
        answer.remove(0, m_sentFrame.size());
    ShowAnswer(answer);
}

bool frmMain::AwaitRest()
{
    const QByteArray &waiting = MSComm1->PeekInput();
    // Bytes at the threshold of 1 that an opening sets answer no request: they are taken as they come.
    const bool answering = m_answerThreshold > 0;
    if (answering && !MSComm1->echoes() && showsEcho(waiting, m_sentFrame))
        MSComm1->setEchoes(true);
    const int echo = MSComm1->echoes() ? int(m_sentFrame.size()) : 0;
    int needed = answering ? echo + m_answerThreshold : 0;
    // The module's answer to a change of address is a copy of the request, 8 bytes; the
    // notification comes at 6.
    const QByteArray answer = waiting.mid(echo);
    if (requestKind == 15 && answer.size() < m_sentFrame.size() && m_sentFrame.startsWith(answer))
        needed = echo + int(m_sentFrame.size());
    if (answering && !MSComm1->echoes() && mayShowEcho(waiting, m_sentFrame))
        needed = int(waiting.size()) + 1;
    if (waiting.size() >= needed)
        return false;
    MSComm1->setRThreshold(qint16(needed));
    return true;
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
