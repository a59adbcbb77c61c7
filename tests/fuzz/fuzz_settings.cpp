// comm.set contents as they may be found on a plant-floor PC: anything at all.
#include "serial/settingsfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), int(size));
    const StoredSettings settings = parseSettings(contents);
    // What was read must survive a store and a new load unchanged.
    if (settings.complete) {
        const StoredSettings again = parseSettings(settingsLine(settings.port, settings.rate));
        if (!again.complete || again.port != settings.port || again.rate != settings.rate)
            abort();
    }
    return 0;
}
