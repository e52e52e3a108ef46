#include "posting/RunSummary.h"

#include "core/GridOperations.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/RunContext.h"

#include <QSet>

namespace {
QString counted(int count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}
} // namespace

RunSummary RunSummary::of(const GridOperations& grid, const QList<int>& written,
                          const PostingJournal& journal) {
    const QString& successful = RunResults::Successful;
    const QString& notMarked = RunResults::NotMarked;
    int made = 0, found = 0, lost = 0, last = -1, failedRow = -1;
    for (const int row : written) {
        const QString& result = grid.line(row).result;
        last = qMax(last, row);
        if (result == successful)
            ++made;
        else if (result.startsWith(RunResults::AlreadyInQuickBooks))
            ++found;
        else if (result.startsWith(notMarked))
            ++made;
        if (failedRow < 0 && (result.startsWith(QStringLiteral("Error ")) ||
                              result.startsWith(notMarked + QStringLiteral("Error "))))
            failedRow = row;
    }
    // The rows whose add's answer was lost, this run's or an earlier one's: QuickBooks may
    // hold their invoices, and the next run settles them.
    for (const int row : journal.unansweredRows())
        lost += journal.unanswered(row)->stage == PostingJournal::Unanswered::Add;
    // The checked rows below where the run ended that still wait for their invoice and that
    // this run did not write.
    const int from = failedRow >= 0 ? failedRow : last;
    const QSet<int> wrote(written.cbegin(), written.cend());
    int notReached = 0;
    for (int row = from + 1; row < grid.lineCount(); ++row)
        notReached += grid.line(row).send && !InvoicePosting::isPosted(grid.line(row).result) &&
                      !wrote.contains(row) && !journal.unanswered(row);
    const QString waiting =
        (lost ? QStringLiteral("%1 whose answer was lost: Create Invoices again to settle them; ")
                    .arg(lost)
              : QString()) +
        counted(notReached, "checked row", "checked rows") + QStringLiteral(" not reached.");
    RunSummary summary;
    if (failedRow >= 0) {
        const BillingLine& failed = grid.line(failedRow);
        summary.failed = true;
        summary.text =
            QStringLiteral("Stopped at %1: %2 %3 made before it; %4")
                .arg(failed.customer(), RunResults::sentence(failed.result),
                     QString::number(made - (failed.result.startsWith(successful) ? 1 : 0)),
                     waiting);
        return summary;
    }
    const QString done =
        counted(made, "invoice made", "invoices made") +
        (found ? QStringLiteral(", %1 already in QuickBooks").arg(found) : QString());
    // A run that ended with rows still waiting was stopped, whether or not it wrote any.
    if (notReached > 0 || lost > 0)
        summary.text = QStringLiteral("Stopped as asked: %1; %2").arg(done, waiting);
    else if (written.isEmpty())
        summary.text = QStringLiteral("No invoice made: no checked row was waiting for one.");
    else
        summary.text = done + u'.';
    return summary;
}
