// The Web Connector's SOAP calls as the bridge reads them, and the answers as the Web
// Connector's part reads them: any body gets an answer or a fault, never a crash.
#include "qbbridge/WebConnectorService.h"
#include "soap/SoapMessage.h"

#include <QCoreApplication>
#include <cstdint>
#include <memory>

namespace {
WebConnectorService* service = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static WebConnectorService bridge({QStringLiteral("clerk"), "s3cret", 30, 0, 1000});
    service = &bridge;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    // A held sendRequestXML is let go by a later call, after this input, and a sign-in from an
    // address that failed too often is answered after a delay; every other call answers at
    // once. The calls come from a few addresses in turn.
    static int calls = 0;
    auto answered = std::make_shared<bool>(false);
    service->call(
        body,
        [answered](int, const QByteArray& answer) {
            *answered = !answer.isEmpty();
            return true;
        },
        QStringLiteral("192.0.2.%1").arg(++calls % 16));
    if (!*answered && !body.contains("sendRequestXML") && !body.contains("authenticate"))
        __builtin_trap();
    for (const char* method : {"authenticate", "sendRequestXML", "receiveResponseXML"})
        SoapMessage::readResult(body, QLatin1String(method));
    return 0;
}
