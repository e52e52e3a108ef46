#pragma once

#include <QList>
#include <QString>

class GridOperations;
class PostingJournal;

// How a run ended, in one line for the window: what it made and found, or where it stopped
// and why, how many rows' answers were lost (QuickBooks may hold their invoices: the next run
// settles them), and how many checked rows it did not reach, so that a clerk who looked away can
// tell from the window alone.
struct RunSummary {
    QString text;
    bool failed = false;

    // The summary of a run that wrote the "Result" of lines (in the order written); the
    // journal tells which of them wait for an answer that was lost.
    static RunSummary of(const GridOperations& grid, const QList<int>& written,
                         const PostingJournal& journal);
};
