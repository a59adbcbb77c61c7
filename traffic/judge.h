#pragma once
// The verdict on one exchange on the line: a request and every byte that came back before the next
// one. Pure: the traffic log and its tests call it with bytes.
#include <QByteArray>
#include <QString>

enum class Verdict {
    Normal,       // 正常
    NoAnswer,     // 无应答
    Exception,    // 异常应答: the module refused the request
    Incomplete,   // 不完整: fewer bytes than the answer needs, then quiet
    CrcError,     // CRC错误
    WrongAddress, // 地址不符: a good frame from another module
    BadFormat,    // 格式错误: function, byte count or length do not fit the request
    NoRequest,    // 无请求: bytes while no request was waiting for them
};

struct Judgement
{
    Verdict verdict = Verdict::NoRequest;
    quint8 detail = 0; // the exception code, or the address that answered
    bool echo = false; // the bytes began with a copy of the request
    int extra = 0;     // bytes after a complete answer
    bool cut = false;  // the next request went out before this answer could have ended
};

Judgement judgeExchange(const QByteArray &request, const QByteArray &reply);

// Whether the next request, written msBetweenWrites after this one, came before this one's answer
// could have ended, at rate (bit/s) and 11 bits a byte (start, 8 data, parity or stop). With nothing
// received: sooner than the request and its answer on the wire with the module's silence of 3.5
// characters before and after. With some bytes received: sooner than the rest could have followed the
// last of them (lastByteMs after this write). False for an answer of unknown length.
bool cutByNextRequest(int requestBytes, int answerBytes, int receivedBytes, double lastByteMs, qint32 rate,
                      double msBetweenWrites);
// Notes that cut on j when its answer is missing or short, the loss it explains.
void noteNextRequest(Judgement &j, const QByteArray &request, const QByteArray &reply, double lastByteMs, qint32 rate,
                     double msBetweenWrites);

// The verdict's own name ("CRC错误").
QString verdictName(Verdict verdict);
// The verdict with its detail and notes, as the log shows it ("异常应答 02 (非法数据地址) 回显",
// "不完整 被下一请求打断").
QString judgementText(const Judgement &judgement);
