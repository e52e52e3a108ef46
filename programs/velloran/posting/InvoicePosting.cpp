#include "posting/InvoicePosting.h"

#include "core/Failure.h"
#include "posting/CustomerComponent.h"
#include "posting/RunContext.h"
#include "qbxml/QbxmlAnswer.h"

bool InvoicePosting::isPosted(const QString& result) {
    return result == RunResults::Successful || result.startsWith(RunResults::Successful + u',');
}

bool InvoicePosting::CustomerQualifiesForEmail(CustomerComponent& customer, const QString& name) {
    try {
        customer.LookupCustomer(name);
        return !customer.LookupResultText().isEmpty();
    } catch (const Failure& failure) {
        // A customer QuickBooks does not know is not e-mailed. A look-up that failed on its
        // way says nothing about the customer: it is not taken for "no e-mail address".
        if (failure.number() == QbStatus::NotFound)
            return false;
        throw;
    }
}
