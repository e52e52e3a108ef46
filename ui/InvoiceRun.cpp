#include "ui/InvoiceRun.h"

#include "ui/RunProgress.h"

#include "app/MessageBoxes.h"
#include "app/Module1.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "qbxml/RequestProcessor.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>

InvoiceRun::InvoiceRun(Parts parts)
    : m_parts(std::move(parts)) {}

QString InvoiceRun::listOrganisation() const {
    return m_parts.organisation();
}

int InvoiceRun::emailBoxValue() const {
    switch (m_parts.email->checkState()) {
    case Qt::Checked:
        return Checked;
    case Qt::PartiallyChecked:
        return Greyed;
    default:
        return Unchecked;
    }
}

bool InvoiceRun::confirm(const QString& text, const QString& caption) {
    return MessageBoxes::show(text, caption, MessageBoxes::YesNo) == MessageBoxes::Yes;
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
        m_progress = new RunProgress(m_parts.window);
        if (m_closeAfterRun)
            m_progress->stopAfterThisInvoice(true);
        m_progress->show();
    }
    m_progress->setProgress(done, total, customers);
    QCoreApplication::processEvents();
}

bool InvoiceRun::stopRequested() {
    return m_closeAfterRun || (m_progress && m_progress->stopping());
}

void InvoiceRun::rowFinished(int row) {
    m_parts.grid->showCell(row, GridColumns::Company);
    QCoreApplication::processEvents();
}

void InvoiceRun::closeAfterThisInvoice() {
    if (std::exchange(m_closeAfterRun, true))
        return;
    if (m_progress)
        m_progress->stopAfterThisInvoice(true);
}

bool InvoiceRun::run() {
    // A click queued while a run waits for QuickBooks never starts a second run.
    if (std::exchange(m_running, true))
        return false;
    BillingGrid& grid = *m_parts.grid;
    // The rows whose "Result" this run writes, to be told from older ones; and the clerk's
    // selection, which the end of the run's grid steps would lose.
    QList<int> written;
    const auto watch = QObject::connect(
        grid.model(), &QAbstractItemModel::dataChanged, m_parts.window,
        [&written](const QModelIndex& from, const QModelIndex& to) {
            if (from.column() <= GridColumns::Result && to.column() >= GridColumns::Result)
                for (int row = from.row(); row <= to.row(); ++row)
                    written << row + 1; // below the header row
        });
    const QList<int> selected = grid.selectedGridRows();
    // While an answer is awaited the window paints, the dialog's Stop works and the window can
    // be closed; every other control is out of reach until the run ends.
    m_parts.enableControls(false);
    m_parts.processor->setWaitHook(
        [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
    InvoicePosting::CreateInvoices(*this, grid, *m_parts.invoice, *m_parts.customer, *m_parts.lease,
                                   {Module1::chamberItemName(), Module1::foundationItemName()},
                                   *m_parts.journal);
    m_parts.processor->setWaitHook({});
    m_parts.processor->disconnect();
    m_running = false;
    m_parts.enableControls(true);
    // This run's first error in view, or else the last row it wrote, from the left so that
    // its company and contact show; the "Result" cell's tooltip holds the whole text.
    QObject::disconnect(watch);
    int shown = 0;
    for (const int row : std::as_const(written)) {
        shown = row;
        if (grid.CellText(row, GridColumns::Result).startsWith(QStringLiteral("Error ")))
            break;
    }
    grid.selectGridRows(selected);
    if (shown > 0)
        grid.showRowFromTheLeft(shown);
    return std::exchange(m_closeAfterRun, false);
}
