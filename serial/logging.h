#pragma once
// The tool's logging categories, off by default: QT_LOGGING_RULES="kv4820.*=true" turns them on.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcComm)   // port events: open failures, a lost port
Q_DECLARE_LOGGING_CATEGORY(lcFrames) // every byte written to and read from the line, as hex
