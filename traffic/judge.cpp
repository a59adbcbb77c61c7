#include "traffic/judge.h"

#include "modbus/codec.h"

namespace {

constexpr quint8 kReadAddressStation = 0xFA; // any module answers the read-address request
constexpr quint8 kReadAddressFunction = 0x25;

quint8 byteAt(const QByteArray &bytes, int index) { return quint8(bytes.at(index)); }

// The length of the good answer to request; 0 when this request's answer has no known length.
int answerLength(const QByteArray &request)
{
    if (request.size() < 6)
        return 0;
    switch (byteAt(request, 1)) {
    case 0x03:
    case 0x04:
        return 5 + 2 * (byteAt(request, 4) << 8 | byteAt(request, 5));
    case 0x06:
        return 8;
    case kReadAddressFunction:
        return 6;
    default:
        return 0;
    }
}

bool crcHolds(const QByteArray &frame) { return frame.size() >= 4 && answerCrcMatches(frame, int(frame.size())); }

} // namespace

Judgement judgeExchange(const QByteArray &request, const QByteArray &reply)
{
    Judgement j;
    if (request.isEmpty())
        return j;
    const int needed = answerLength(request);
    const quint8 function = request.size() > 1 ? byteAt(request, 1) : 0;
    QByteArray answer = reply;
    // A write's answer is its echo: a copy counts as an adapter's echo only with more after it.
    const bool answerIsCopy = function == 0x06;
    if (reply.startsWith(request) && (!answerIsCopy || reply.size() >= 2 * request.size())) {
        j.echo = true;
        answer = reply.mid(request.size());
    }
    if (answer.isEmpty()) {
        // Nobody answers a broadcast.
        j.verdict = byteAt(request, 0) == 0 ? Verdict::Normal : Verdict::NoAnswer;
        return j;
    }
    if (answer.size() >= 5 && byteAt(answer, 1) == (function | 0x80) && crcHolds(answer.left(5))) {
        j.verdict = Verdict::Exception;
        j.detail = byteAt(answer, 2);
        j.extra = int(answer.size()) - 5;
        return j;
    }
    const int length = needed > 0 ? needed : int(answer.size());
    if (answer.size() < qMax(length, 4)) {
        j.verdict = Verdict::Incomplete;
        return j;
    }
    j.extra = int(answer.size()) - length;
    const QByteArray frame = answer.left(length);
    const quint8 station = byteAt(request, 0), from = byteAt(frame, 0);
    const bool anyStation = station == kReadAddressStation && function == kReadAddressFunction;
    bool formatOk = byteAt(frame, 1) == function;
    if (formatOk && (function == 0x03 || function == 0x04))
        formatOk = byteAt(frame, 2) == length - 5;
    else if (formatOk && function == 0x06)
        formatOk = frame.mid(2, 2) == request.mid(2, 2);
    else if (formatOk && function == kReadAddressFunction)
        formatOk = byteAt(frame, 2) == 0x02;
    if (!crcHolds(frame))
        j.verdict = Verdict::CrcError;
    else if (from != station && !anyStation) {
        j.verdict = Verdict::WrongAddress;
        j.detail = from;
    } else
        j.verdict = formatOk ? Verdict::Normal : Verdict::BadFormat;
    return j;
}

bool cutByNextRequest(int requestBytes, int answerBytes, int receivedBytes, double lastByteMs, qint32 rate,
                      double msBetweenWrites)
{
    constexpr double kBitsPerByte = 11, kSilence = 3.5;
    if (answerBytes <= 0 || rate <= 0)
        return false;
    const double byteMs = kBitsPerByte * 1000 / rate;
    if (receivedBytes == 0)
        return msBetweenWrites < (requestBytes + answerBytes + 2 * kSilence) * byteMs;
    // Bytes were coming: the rest could not have arrived before the next write.
    const int missing = answerBytes - receivedBytes;
    return missing > 0 && lastByteMs + missing * byteMs > msBetweenWrites;
}

void noteNextRequest(Judgement &j, const QByteArray &request, const QByteArray &reply, double lastByteMs, qint32 rate,
                     double msBetweenWrites)
{
    // A whole answer, an exception or bytes that do not fit were not cut, however soon the next came.
    if (j.verdict != Verdict::NoAnswer && j.verdict != Verdict::Incomplete)
        return;
    const int answer = answerLength(request);
    j.cut = answer > 0
        && cutByNextRequest(int(request.size()), answer + (j.echo ? int(request.size()) : 0), int(reply.size()),
                            lastByteMs, rate, msBetweenWrites);
}

QString verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Normal: return QStringLiteral("正常");
    case Verdict::NoAnswer: return QStringLiteral("无应答");
    case Verdict::Exception: return QStringLiteral("异常应答");
    case Verdict::Incomplete: return QStringLiteral("不完整");
    case Verdict::CrcError: return QStringLiteral("CRC错误");
    case Verdict::WrongAddress: return QStringLiteral("地址不符");
    case Verdict::BadFormat: return QStringLiteral("格式错误");
    case Verdict::NoRequest: return QStringLiteral("无请求");
    }
    return QString();
}

QString judgementText(const Judgement &j)
{
    QString text = verdictName(j.verdict);
    if (j.verdict == Verdict::Exception) {
        static const char *const meanings[] = {nullptr, "非法功能", "非法数据地址", "非法数据值", "从站设备故障", nullptr, "从站设备忙"};
        text += QLatin1Char(' ') + hexByte(j.detail);
        if (j.detail < std::size(meanings) && meanings[j.detail])
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(meanings[j.detail]));
    } else if (j.verdict == Verdict::WrongAddress) {
        text += QLatin1Char(' ') + hexByte(j.detail);
    }
    if (j.echo)
        text += QStringLiteral(" 回显");
    if (j.extra > 0)
        text += QStringLiteral(" 多余字节 %1").arg(j.extra);
    if (j.cut)
        text += QStringLiteral(" 被下一请求打断");
    return text;
}
