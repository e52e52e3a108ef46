// The Web Connector part's reader of an HTTP answer's status line and headers.
#include "qbhost/SoapPoster.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SoapPoster::Head head =
        SoapPoster::readHead(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    if (head.length < -2 || head.length > SoapPoster::MaxAnswerBytes)
        __builtin_trap();
    return 0;
}
