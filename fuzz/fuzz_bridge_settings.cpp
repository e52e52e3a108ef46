// The bridge's settings file, as serve and check read it: any text gives settings or a reason
// naming a line, never a crash.
#include "qbbridge/BridgeSettings.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BridgeSettings settings;
    const bool loaded = settings.load(QByteArray(reinterpret_cast<const char*>(data), int(size)),
                                      QStringLiteral("qbbridge.conf"), QStringLiteral("/conf"));
    if (!loaded && !settings.errorString().startsWith(QStringLiteral("qbbridge.conf:")))
        __builtin_trap();
    if (loaded)
        settings.check();
    return 0;
}
