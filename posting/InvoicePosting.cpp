#include "posting/InvoicePosting.h"

#include "core/Failure.h"
#include "posting/CustomerComponent.h"

namespace {
const QString Successful = QStringLiteral("Successful");
// QuickBooks' answer to a look-up of a name it does not know.
constexpr qint32 CustomerNotFound = 500;
} // namespace

bool InvoicePosting::isPosted(const QString& result) {
    return result == Successful || result.startsWith(Successful + u',');
}

bool InvoicePosting::CustomerQualifiesForEmail(CustomerComponent& customer, const QString& name) {
    try {
        customer.LookupCustomer(name);
        return !customer.LookupResultText().isEmpty();
    } catch (const Failure& failure) {
        // A customer QuickBooks does not know is not e-mailed. A look-up that failed on its
        // way says nothing about the customer: it is not taken for "no e-mail address".
        if (failure.number() == CustomerNotFound)
            return false;
        throw;
    }
}
