#include "ui/InvoiceRun.h"

#include "ui/RunProgress.h"

#include "app/MessageBoxes.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "posting/PostingRun.h"
#include "qbxml/RequestProcessor.h"

#include <QCheckBox>
#include <QGuiApplication>

InvoiceRun::InvoiceRun(FromWindow window)
    : m_window(std::move(window)) {}

InvoiceRun::~InvoiceRun() = default;

QString InvoiceRun::listOrganisation() const {
    return m_window.organisation();
}

int InvoiceRun::emailBoxValue() const {
    switch (m_window.email->checkState()) {
    case Qt::Checked:
        return Checked;
    case Qt::PartiallyChecked:
        return Greyed;
    default:
        return Unchecked;
    }
}

bool InvoiceRun::confirm(const QString& text, const QString& caption) {
    return m_window.messages(text, caption, MessageBoxes::YesNo) == MessageBoxes::Yes;
}

void InvoiceRun::setBusy(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    delete m_progress;
}

void InvoiceRun::progress(int done, int total, const QStringList& customers) {
    if (!m_progress) {
        m_progress = new RunProgress(m_window.window);
        if (m_closeAfterRun)
            m_progress->stopAfterThisInvoice(true);
        m_progress->show();
        // Keys go to the dialog from here on: a Space meant for Stop never presses Exit.
        m_progress->raise();
        m_progress->activateWindow();
    }
    m_progress->setProgress(done, total, customers);
}

bool InvoiceRun::stopRequested() {
    return m_closeAfterRun || (m_progress && m_progress->stopping());
}

void InvoiceRun::rowFinished(int line) {
    m_written << line;
    m_window.grid->showLine(line, GridColumns::Company);
}

void InvoiceRun::closeAfterThisInvoice() {
    if (std::exchange(m_closeAfterRun, true))
        return;
    if (m_progress)
        m_progress->stopAfterThisInvoice(true);
}

void InvoiceRun::run() {
    // A click that reaches the button during a run never starts a second one.
    if (m_posting)
        return;
    BillingGrid& grid = *m_window.grid;
    m_written.clear();
    m_selected = grid.selectedLines();
    // A child of the window while it runs, so that it can be found there.
    m_posting = std::make_unique<PostingRun>(
        PostingRun::Collaborators{*this, grid, *m_window.processor, *m_window.invoice,
                                  *m_window.customer, *m_window.lease, m_window.items,
                                  *m_window.journal},
        m_window.window);
    QObject::connect(m_posting.get(), &PostingRun::progress, m_window.window,
                     [this](int done, int total, const QStringList& customers) {
                         progress(done, total, customers);
                     });
    QObject::connect(m_posting.get(), &PostingRun::underWay, m_window.window,
                     [this](const QStringList& customers) {
                         if (m_progress)
                             m_progress->setUnderWay(customers);
                     });
    QObject::connect(m_posting.get(), &PostingRun::rowFinished, m_window.window,
                     [this](int row) { rowFinished(row); });
    QObject::connect(m_posting.get(), &PostingRun::finished, m_window.window,
                     [this] { finished(); });
    // While QuickBooks works the window paints, the dialog's Stop works and the window can be
    // closed; every other control is out of reach until the run ends.
    m_window.enableControls(false);
    m_answered = m_posting->start();
    if (!m_answered)
        finished();
}

namespace {
// Each row once, in the order its "Result" was first written.
QList<int> writtenInOrder(const QList<int>& rows) {
    QList<int> once;
    for (const int row : rows)
        if (!once.contains(row))
            once << row;
    return once;
}
} // namespace

void InvoiceRun::finished() {
    // Not deleted from inside its own signal.
    m_posting.release()->deleteLater();
    m_window.enableControls(true);
    // This run's first error in view, or else the last row it wrote, from the left so that
    // its company and contact show; the "Result" cell's tooltip holds the whole text.
    BillingGrid& grid = *m_window.grid;
    int shown = -1;
    for (const int line : std::as_const(m_written)) {
        shown = line;
        if (grid.line(line).result.startsWith(QStringLiteral("Error ")))
            break;
    }
    grid.selectLines(m_selected);
    if (shown >= 0)
        grid.showLineFromTheLeft(shown);
    // A clerk answering No has run nothing, and the last run's line stays.
    const RunSummary summary =
        m_answered ? RunSummary::of(grid, writtenInOrder(m_written), *m_window.journal)
                   : RunSummary{};
    m_window.ended(summary, std::exchange(m_closeAfterRun, false));
}
