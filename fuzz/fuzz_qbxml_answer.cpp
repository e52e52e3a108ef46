// The components' reader of QuickBooks' answers (message-set status included, and a batch's
// answers one by one, each checked), and the channel's framing.
#include "core/Failure.h"
#include "qbxml/QbChannel.h"
#include "qbxml/QbxmlAnswer.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    for (const char* name :
         {"InvoiceAddRs", "CustomerQueryRs", "InvoiceQueryRs", "CompanyQueryRs"}) {
        try {
            QbxmlAnswer::read(bytes, QLatin1String(name), name[7] == 'Q');
        } catch (const Failure&) {
        }
    }
    try {
        QbxmlAnswer::messageSetStatus(bytes);
    } catch (const Failure&) {
    }
    try {
        for (const QbxmlAnswer& answer : QbxmlAnswer::readAll(bytes)) {
            try {
                answer.check(answer.responseName.contains(QLatin1String("Query")));
            } catch (const Failure&) {
            }
        }
    } catch (const Failure&) {
    }
    QByteArray buffer = bytes, frame;
    try {
        while (QbChannel::takeFrame(buffer, frame)) {
        }
    } catch (const Failure&) {
    }
    return 0;
}
