// The bridge's judge of a certificate chain and key, as read from the files it is given: the
// input is split where it holds a form feed, certificates before, key after.
#include "qbbridge/TlsCredentials.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const int split = bytes.indexOf('\f');
    TlsCredentials credentials;
    credentials.load(split < 0 ? bytes : bytes.left(split), QStringLiteral("cert.pem"),
                     split < 0 ? QByteArray() : bytes.mid(split + 1), QStringLiteral("key.pem"),
                     QStringLiteral("localhost"), QDateTime::currentDateTimeUtc());
    return 0;
}
