#include "response/echo.h"

namespace {

// The module answers a write of one register (the change of address) with a copy of the request.
bool answeredByCopy(const QByteArray &request)
{
    return request.size() > 1 && quint8(request.at(1)) == 0x06;
}

} // namespace

bool showsEcho(const QByteArray &bytes, const QByteArray &request)
{
    if (request.isEmpty() || !bytes.startsWith(request))
        return false;
    return answeredByCopy(request) ? bytes.startsWith(request + request) : bytes.size() > request.size();
}

bool mayShowEcho(const QByteArray &bytes, const QByteArray &request)
{
    if (request.isEmpty() || bytes.isEmpty())
        return false;
    if (!answeredByCopy(request))
        return request.startsWith(bytes);
    // One whole copy is the module's answer on a line not known to echo.
    return bytes.size() > request.size() && bytes.size() < 2 * request.size() && (request + request).startsWith(bytes);
}

QByteArray withoutEcho(const QByteArray &bytes, const QByteArray &request)
{
    return showsEcho(bytes, request) ? bytes.mid(request.size()) : bytes;
}
