#pragma once

#include <QString>
#include <QStringList>

class CustomerComponent;

// What an invoice run needs of the window it runs in.
class PostingHost {
public:
    virtual ~PostingHost() = default;
    // The organisation whose list is on screen.
    virtual QString listOrganisation() const = 0;
    // The "Mark To Email" box, as the earlier version's check box values: 0 unchecked,
    // 1 checked, 2 greyed. Only Checked marks invoices for e-mail.
    enum EmailBox { Unchecked = 0, Checked = 1, Greyed = 2 };
    virtual int emailBoxValue() const = 0;
    // Asks the Yes/No question; true for Yes.
    virtual bool confirm(const QString& text, const QString& caption) = 0;
    // The hourglass while the run works, and the default pointer after.
    virtual void setBusy(bool busy) = 0;

    // Asked before each batch and again before its adds go: true ends the run there, the
    // adds not yet sent never sent and their rows untouched.
    virtual bool stopRequested() { return false; }
};

struct PostingItems {
    QString chamberItem;
    QString foundationItem;
};

namespace InvoicePosting {

// True for a "Result" that says the row's invoice exists: "Successful", or "Successful, ..."
// when the invoice was made but something after it failed.
bool isPosted(const QString& result);

// Asks QuickBooks about the customer: true when the customer has an e-mail address on file,
// false when it has none or QuickBooks does not know the customer. Any other failure of the
// look-up (the channel's, or QuickBooks refusing it) is thrown: it tells nothing about the
// customer, and an invoice that should be e-mailed must not go out marked to be printed.
bool CustomerQualifiesForEmail(CustomerComponent& customer, const QString& name);

// The most rows a batch holds: their adds go to QuickBooks as one message set.
constexpr int MaxBatch = 25;

} // namespace InvoicePosting
