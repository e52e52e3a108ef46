// config.txt reader: any bytes give items or Failure 62, never a crash or a hang.
#include "core/ConfigReader.h"
#include "core/Failure.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConfigReader reader(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    try {
        for (int i = 0; i < 8; ++i)
            reader.nextItem();
    } catch (const Failure& failure) {
        if (failure.number() != ErrorNumber::InputPastEndOfFile)
            __builtin_trap();
    }
    return 0;
}
