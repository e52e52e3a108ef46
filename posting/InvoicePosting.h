#pragma once

#include <QString>
#include <QStringList>

class CustomerComponent;
class GridOperations;
class InvoiceComponent;
class PostingJournal;
class RunLease;

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

    // Before each batch: how many of the run's rows are done, of how many, and the customers
    // of the batch's rows.
    virtual void progress(int done, int total, const QStringList& customers) {
        Q_UNUSED(done);
        Q_UNUSED(total);
        Q_UNUSED(customers);
    }
    // A row's outcome is written.
    virtual void rowFinished(int row) { Q_UNUSED(row); }
    // Asked after each batch: true ends the run there, the rows after it untouched.
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

// Turns every checked row that has no invoice yet into one invoice, writing "Successful" or
// the error into its "Result", and stops at the first failure. The rows go in batches, each
// under the run's lease (one run at a time in a company file), and just before each batch
// QuickBooks is asked for its rows' invoices, which an earlier list of the month or someone
// else may have made; a row whose answer was lost in an earlier run of the list (the journal
// keeps it) is settled from the answer QuickBooks kept, so that no member is billed twice.
void CreateInvoices(PostingHost& host, GridOperations& grid, InvoiceComponent& invoice,
                    CustomerComponent& customer, RunLease& lease, const PostingItems& items,
                    PostingJournal& journal);

} // namespace InvoicePosting
