#include "app/frmMain.h"

#include "app/numbers.h"
#include "modbus/codec.h"
#include "serial/MSComm.h"

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
    MSComm1->setInBufferCount(0);
    MSComm1->setInputLen(0);
    MSComm1->setInputMode(1);
    MSComm1->setRThreshold(0);

    QByteArray frame(8, '\0');
    frame[0] = char(*stationByte);
    frame[1] = char(*functionByte);
    frame[3] = char(*startByte);
    frame[5] = char(quint8(integerPart(*length)));
    Crc16(frame, 5);
    frame[6] = char(HiByte);
    frame[7] = char(LoByte);
    expectedLength = qint16(2 * quint8(frame[5]) + 5);
    MSComm1->setRThreshold(expectedLength);
    requestKind = 1;
    m_readHead = frame.left(2) + char(2 * quint8(frame[5]));
    MSComm1->setOutput(frame);
    commandHex = requestHexText(frame);
    // Polling sends the same request on every tick: the box need not be laid out and painted again.
    if (txtCommand->text() != commandHex)
        txtCommand->setText(commandHex);
}

namespace {

// The steps both address commands share, once bytes 0..5 of the frame are filled.
void sendAddressCommand(frmMain &w, qint16 kind, QByteArray frame)
{
    w.txtState->clear();
    w.requestKind = kind;
    w.commandHex.clear();
    w.MSComm1->setInBufferCount(0);
    w.MSComm1->setInputLen(0);
    w.MSComm1->setInputMode(1);
    w.MSComm1->setRThreshold(0);
    w.Crc16(frame, 5);
    frame[6] = char(w.HiByte);
    frame[7] = char(w.LoByte);
    w.commandHex = requestHexText(frame);
    w.MSComm1->setRThreshold(6);
    w.txtCommand->setText(w.commandHex);
    if (w.MSComm1->PortOpen()) {
        w.ShowLamp(w.imgConnected);
        w.MSComm1->setOutput(frame);
        w.txtState->setText(QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)"));
    } else {
        w.ShowLamp(w.imgNotConnected);
    }
}

} // namespace

void frmMain::cmdReadAdd_Click()
{
    sendAddressCommand(*this, 16, QByteArray("\xFA\x25\x02\x00\x00\x01\x00\x00", 8));
}

void frmMain::cmdChangeID_Click()
{
    const std::optional<quint8> current = addressByte(txtSetID[0]->text());
    const std::optional<quint8> wanted = addressByte(txtSetID[1]->text());
    if (!current || !wanted) {
        MsgBox(kBadAddress);
        return;
    }
    QByteArray frame(8, '\0');
    frame[0] = char(*current);
    frame[1] = 0x06;
    frame[2] = 0x0B;
    frame[5] = char(*wanted);
    sendAddressCommand(*this, 15, frame);
}
