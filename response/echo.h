#pragma once
// An RS-485 adapter whose receiver stays on while it sends hands each request back before the
// module's answer. These tell such a copy from an answer; the line's knowledge of its echo is kept by
// the serial adapter (MSComm::echoes).
#include <QByteArray>

// True when bytes read after request was written show that the line echoes: they begin with a whole
// copy of request and more bytes follow. A change of address is answered with a copy of itself, so
// for it only two copies tell.
bool showsEcho(const QByteArray &bytes, const QByteArray &request);

// True while the bytes so far may still turn out to show an echo, so an answer cannot be judged from
// them yet: a copy of request or a part of one (no answer to a read starts so), or for a change of
// address a copy followed by part of a second.
bool mayShowEcho(const QByteArray &bytes, const QByteArray &request);

// The bytes without a leading copy of request, when they show an echo; else the bytes as they are.
QByteArray withoutEcho(const QByteArray &bytes, const QByteArray &request);
