// The components' reader of QuickBooks' answers (message-set status included, and a batch's
// answers one by one, each checked), the run's readers of them (the lease's record and the
// notes another program wrote in it, a batch's check, a batch's adds, the customers' look-up),
// and the channel's framing.
#include "core/Failure.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/RunLease.h"
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
    try {
        RunLease lease;
        lease.beginTake();
        bool query = false;
        lease.takeRequest(&query);
        lease.takeAnswer(bytes); // the record read: held elsewhere, or free to take
        lease.takeRequest(&query);
        lease.takeAnswer(bytes); // the record written
    } catch (const Failure&) {
    }
    InvoiceComponent invoice;
    try {
        bool nameUnknown = false;
        invoice.readInvoices(bytes, &nameUnknown);
    } catch (const Failure&) {
    }
    try {
        invoice.readBatchAnswer(bytes, 3, [](const QbxmlAnswer& lead) { lead.check(); });
    } catch (const Failure&) {
    }
    try {
        CustomerComponent customer;
        if (customer.nextLookUp({QStringLiteral("A"), QStringLiteral("B")}))
            customer.takeLookUp(bytes);
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
