#include "serial/logging.h"

Q_LOGGING_CATEGORY(lcComm, "kv4820.comm", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFrames, "kv4820.frames", QtWarningMsg)
