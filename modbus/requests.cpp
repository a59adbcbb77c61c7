#include "app/frmMain.h"

#include "app/numbers.h"
#include "modbus/codec.h"
#include "serial/MSComm.h"
#include "serial/logging.h"

#include <QLineEdit>

namespace {

const QString kBadAddress = QStringLiteral("你输入的设备地址格式有误!");
const QString kBadFunction = QStringLiteral("你输入的功能码格式有误!");
const QString kBadLength = QStringLiteral("你输入的数据长度格式有误!");
const QString kBadStart = QStringLiteral("你输入的起始地址格式有误!");
const QString kLengthRange = QStringLiteral("你输入的数据长度格式有误,正确的值应该为1-24!");

// An address text as a frame byte: its integer part, which must fit in 0..255.
std::optional<quint8> addressByte(const QString &text)
{
    const std::optional<double> number = readNumber(text);
    return number ? asByte(integerPart(*number)) : std::nullopt;
}

} // namespace

void frmMain::Crc16(const QByteArray &cmdstring, qint16 j)
{
    const quint16 crc = crc16(cmdstring, j);
    HiByte = crc & 0xFF;
    LoByte = quint8(crc >> 8);
}

QString frmMain::FormatHex(quint8 bb) const
{
    return hexByte(bb);
}

void frmMain::markValuesStale()
{
    txtState->clear();
    for (QLineEdit *box : txtValue)
        setTextColor(box, QColor(255, 0, 0));
}

void frmMain::comDoOnce_Click()
{
    PictureShow->setVisible(true);
    commandHex.clear();

    const std::optional<double> station = readNumber(txtStationID->text());
    const std::optional<double> function = readNumber(txtFunID->text());
    const std::optional<double> length = readNumber(txtDataLength->text());
    const std::optional<double> start = readNumber(txtStartID->text());
    const QString *failure = !station ? &kBadAddress
                           : !function ? &kBadFunction
                           : !length ? &kBadLength
                           : !start ? &kBadStart
                           : (integerPart(*length) < 1 || integerPart(*length) > 24) ? &kLengthRange
                           : nullptr;
    // A value that does not fit its byte would go out as 0: address 256 becomes the broadcast.
    std::optional<quint8> stationByte, functionByte, startByte;
    if (!failure) {
        stationByte = asByte(integerPart(*station));
        functionByte = asByte(roundHalfEven(*function));
        startByte = asByte(integerPart(*start));
        failure = !stationByte ? &kBadAddress : !functionByte ? &kBadFunction : !startByte ? &kBadStart : nullptr;
    }
    if (failure) {
        MsgBox(*failure);
        return;
    }
    markValuesStale();

    if (!MSComm1->PortOpen()) {
        MsgBox(QStringLiteral("打开串口出错，请确定串口是否已被占用"));
        ShowLamp(imgNotConnected);
        commReady = 0;
        return;
    }
    ShowLamp(ImgYellow);
    const QByteArray frame = readRequest(*stationByte, *functionByte, *startByte, quint8(integerPart(*length)));
    expectedLength = qint16(2 * quint8(frame[5]) + 5);
    SendRequest(1, frame, expectedLength);
}

bool frmMain::SendRequest(qint16 kind, const QByteArray &frame, qint16 threshold)
{
    // No receive notification while the exchange is set up; bytes of an older one are dropped.
    MSComm1->setInBufferCount(0);
    MSComm1->setInputLen(0);
    MSComm1->setInputMode(1);
    MSComm1->setRThreshold(0);
    requestKind = kind;
    m_sentFrame = frame;
    m_answerThreshold = threshold;
    // On a line that echoes, the request's copy comes first.
    MSComm1->setRThreshold(MSComm1->echoes() ? qint16(threshold + frame.size()) : threshold);
    commandHex = requestHexText(frame);
    // Polling sends the same request on every tick: the box need not be laid out and painted again.
    if (txtCommand->text() != commandHex)
        txtCommand->setText(commandHex);
    if (!MSComm1->PortOpen())
        return false;
    if (!MSComm1->setOutput(frame)) {
        qCWarning(lcComm) << "not sent" << frame.toHex(' ');
        return false;
    }
    return true;
}

void frmMain::SendAddressCommand(qint16 kind, const QByteArray &frame)
{
    txtState->clear();
    if (MSComm1->PortOpen())
        ShowLamp(imgConnected);
    if (SendRequest(kind, frame, 6))
        txtState->setText(QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)"));
    else
        ShowLamp(imgNotConnected);
}

void frmMain::cmdReadAdd_Click()
{
    SendAddressCommand(16, readAddressRequest());
}

void frmMain::cmdChangeID_Click()
{
    const std::optional<quint8> current = addressByte(txtSetID[0]->text());
    const std::optional<quint8> wanted = addressByte(txtSetID[1]->text());
    if (!current || !wanted) {
        MsgBox(kBadAddress);
        return;
    }
    SendAddressCommand(15, changeAddressRequest(*current, *wanted));
}
