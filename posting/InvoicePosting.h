#pragma once

#include <QString>

class CustomerComponent;
class GridOperations;
class InvoiceComponent;
class PostingJournal;

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

    // Before each invoice: how many of the run's rows are done, of how many, and the customer
    // of the next one.
    virtual void progress(int done, int total, const QString& customer) {
        Q_UNUSED(done);
        Q_UNUSED(total);
        Q_UNUSED(customer);
    }
    // A row's outcome is written.
    virtual void rowFinished(int row) { Q_UNUSED(row); }
    // Asked after each row's outcome: true ends the run there, the rows after it untouched.
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

// Turns every checked row that has no invoice yet into one invoice, writing "Successful" or
// the error into its "Result", and stops at the first failure. Before adding, QuickBooks is
// asked for the row's invoice, which an earlier list of the month may have made; a row whose
// answer was lost in an earlier run of the list (the journal keeps it) is settled from the
// answer QuickBooks kept, so that no member is billed twice.
void CreateInvoices(PostingHost& host, GridOperations& grid, InvoiceComponent& invoice,
                    CustomerComponent& customer, const PostingItems& items,
                    PostingJournal& journal);

} // namespace InvoicePosting
