#pragma once

#include "core/Failure.h"
#include "posting/InvoiceComponent.h"
#include "posting/PostingJournal.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class CustomerComponent;
class GridOperations;
class PostingHost;
class RunLease;
struct PostingItems;

// The results a run writes, each kept in one place.
namespace RunResults {
extern const QString Successful;
// The start of every result of a line whose invoice was found made.
extern const QString AlreadyInQuickBooks;
extern const QString AlreadyThere;
extern const QString NowMarked;
extern const QString NotMarked; // "Successful, not marked to e-mail: " and why
// "Error N: description", with what the next run does for a write whose answer was lost.
QString errorText(const Failure& failure);
// A question that failed before anything was added: "Error N: description. What could not be
// looked up; nothing was added."
QString unasked(const Failure& failure, const QString& what);
// The text as a sentence: with a full stop at its end unless it has one.
QString sentence(const QString& text);
// True for a failure that says QuickBooks never answered at all, as opposed to one it
// answered (a refusal).
bool neverAnswered(const Failure& failure);
} // namespace RunResults

// The invoice a line bills, as the run makes it.
struct RowInvoice {
    QString customer;
    QDate txnDate;
    QDate dueDate;
    QString item;
    QString period; // "(3/15/2027 - 6/15/2027)"
    QString description;
    qint32 hundredths = 0;
    bool email = false; // marked to be e-mailed as it is added
};

// A line of the batch in hand, and what the run does for it.
struct BatchEntry {
    enum Kind {
        Add,   // added in the batch
        Found, // already in QuickBooks: written at once
        Mark,  // already in QuickBooks, its e-mail mark to be made (a request of its own)
    };
    Kind kind = Add;
    int line = 0;
    RowInvoice wanted;
    int add = -1; // its place among the batch's adds
    // A mark: the invoice, the message set it goes as, whether it sets the e-mail flag, and
    // whether it is a lost mark sent again (written "Successful" rather than "now marked").
    QString txnId;
    QString markId;
    bool again = false;
};

// The batch in hand: its entries, the line after it, and the line whose failure ends the run
// once the batch is done.
struct Batch {
    QList<BatchEntry> entries;
    int next = 0;
    std::optional<int> failedLine;
    QString failedText;
    // Stop came before its adds went: they stay unsent, their lines untouched.
    bool stopped = false;
    int firstAdd() const;
    QStringList customers(BatchEntry::Kind kind) const;
};

// What the steps of one run share and hand on: the parts it works with, and the values each
// step leaves for the next.
struct RunContext {
    RunContext(PostingHost& runHost, GridOperations& list, InvoiceComponent& invoices,
               CustomerComponent& customers, RunLease& runLease, const PostingItems& billed,
               PostingJournal& runJournal)
        : host(runHost)
        , grid(list)
        , invoice(invoices)
        , customer(customers)
        , lease(runLease)
        , items(billed)
        , journal(runJournal) {}

    PostingHost& host;
    GridOperations& grid;
    InvoiceComponent& invoice;
    CustomerComponent& customer;
    RunLease& lease;
    const PostingItems& items;
    PostingJournal& journal;
    // What the run tells as it goes: a line's result written, the batch in hand (how many
    // done, of how many, its customers), and the customers of the adds awaiting their answer.
    std::function<void(int line)> written;
    std::function<void(int done, int total, const QStringList& customers)> progress;
    std::function<void(const QStringList& customers)> underWay;

    // "Mark To Email", read once when the run starts.
    bool email = false;
    // The lines the run posts, in order, for its progress.
    QList<int> walked;
    int done = 0;
    // Which company QuickBooks has open.
    QString company;
    // What QuickBooks kept of the lost writes: each lost add's outcome by line (neither
    // invoice nor refusal: not carried out), each lost e-mail mark's answer by line, and the
    // message sets it kept an answer of, to be forgotten at the end.
    QHash<int, InvoiceComponent::AddOutcome> settled;
    QHash<int, QByteArray> storedMarks;
    QSet<QString> keptSets;
    // The invoices the lines of this list own: never taken for another line's.
    QSet<QString> owned;
    // Why the customers could not be looked up, when QuickBooks refused: the invoices then
    // go unmarked, each line saying so.
    std::optional<Failure> lookUpRefused;
    // The batch in hand, and how many went before it.
    Batch batch;
    int batches = 0;

    QString organisation() const;
    // Writes a line's "Result" and says so.
    void write(int line, const QString& result);
    // A line that owns its invoice now.
    void owns(int line, const QString& txnId);
    // True for a line the run posts: checked and without its invoice, or one whose last write's
    // answer was lost. A "Send" that is no check mark is walked too, and stops the run there.
    bool walks(int line) const;
    // The invoice a line bills, from its values; a failure names the value it lacks.
    std::optional<RowInvoice> describe(int line, QString* failure) const;
    // Whether the customer's invoices are e-mailed, from the run's look-up.
    bool emailed(const QString& customer) const;
    // The text of a line whose invoice is made, whatever the e-mail mark: "Successful", or
    // why it is not marked when the customers could not be looked up.
    QString made(const RowInvoice& wanted) const;
};
