// Answers off a noisy line, judged against each kind of request: never a crash, and never an answer
// taken whose CRC does not hold.
#include "modbus/codec.h"
#include "response/decode.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // A read of any address, function and count (0 and more than 24 too), and a change of address.
    const QByteArray read = readRequest(data[0], data[1], 0, data[2]);
    const QByteArray change = changeAddressRequest(data[0], data[2]);
    const QByteArray answer(reinterpret_cast<const char *>(data + 3), int(size - 3));
    if (registerAnswerAccepted(answer, read) && !answerCrcMatches(answer, 2 * data[2] + 5))
        abort();
    if (readAddressAnswer(answer) && !answerCrcMatches(answer, 6))
        abort();
    if (changeAddressAnswer(answer, change) && !answerCrcMatches(answer, 6) && !answerCrcMatches(answer, 8))
        abort();
    for (int k = 0; k + 1 < answer.size(); k += 2)
        registerText(quint16(quint8(answer[k]) << 8 | quint8(answer[k + 1])));
    return 0;
}
