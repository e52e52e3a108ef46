#include "grid/BillingGrid.h"

#include <QScrollBar>

#include "grid/CheckCellDelegate.h"
#include "grid/GridModel.h"
#include "grid/GridPrinter.h"

#include "core/CheckCell.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/Money.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyle>
#include <algorithm>

namespace {
QString& testPdfPath() {
    static QString path;
    return path;
}
} // namespace

BillingGrid::BillingGrid(QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(this)) {
    setModel(m_model);
    setItemDelegate(new CheckCellDelegate(this));
    m_model->setEditRequest([this](int row, int column) { return editAllowed(row, column); });
    QFont gridFont(QStringLiteral("MS Sans Serif"));
    gridFont.setStyleHint(QFont::SansSerif);
    gridFont.setPointSizeF(8.25);
    setFont(gridFont);
    // Tab leaves the grid for the next control instead of walking its cells.
    setTabKeyNavigation(false);
    // Whole rows are selected, for copying to a spreadsheet; the "Send" check toggles by its
    // own click or Space, never by selecting.
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAccessibleName(QStringLiteral("Billing list"));
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    // Left-aligned, a header stays in view when its column grows wide with an error text.
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->hide();
    // "Result" takes the room the other columns leave, so that results read whole.
    horizontalHeader()->setStretchLastSection(true);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
}

bool BillingGrid::editAllowed(int row, int column) {
    bool cancel = false;
    emit CellEditRequested(row, column, cancel);
    return !cancel;
}

bool BillingGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (index.isValid() && (m_model->flags(index) & Qt::ItemIsEditable) &&
        (editTriggers() & trigger) && !editAllowed(m_model->gridRow(index.row()), index.column()))
        return false;
    return QTableView::edit(index, trigger, event);
}

void BillingGrid::SetRowCount(int rows) {
    m_model->setStoredRowCount(rows);
}

int BillingGrid::RowCount() const {
    return m_model->storedRowCount();
}

void BillingGrid::SetColumnCount(int columns) {
    m_model->setStoredColumnCount(columns);
}

int BillingGrid::ColumnCount() const {
    return m_model->storedColumnCount();
}

void BillingGrid::AppendRow(const QString& tabSeparatedCells) {
    m_model->appendRow(tabSeparatedCells);
}

QString BillingGrid::CellText(int row, int column) const {
    return m_model->cellText(row, column);
}

void BillingGrid::SetCellText(int row, int column, const QString& text) {
    m_model->setCellText(row, column, text);
}

void BillingGrid::SetFixedRows(int rows) {
    m_model->setFixedRows(rows);
    horizontalHeader()->setVisible(rows > 0);
}

void BillingGrid::SetFixedColumns(int columns) {
    // A kept call that does nothing here: the grid freezes no columns; any count keeps the
    // leading columns in view by hiding nothing, which is all a list this narrow needs.
    Q_UNUSED(columns);
}

void BillingGrid::SetColumnType(int column, int typeCode) {
    m_model->setColumnType(column, typeCode);
}

void BillingGrid::SetColumnFormat(int column, const QString& format) {
    m_model->setColumnFormat(column, format);
}

void BillingGrid::FitColumns(int firstColumn, int lastColumn) {
    m_model->publish();
    // Measuring every cell through the item delegate costs a text layout per cell; the
    // longest texts of a column decide its width, so only they are measured.
    const QFontMetrics cellMetrics(font());
    const QFontMetrics headerMetrics(horizontalHeader()->font());
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) +
                        cellMetrics.averageCharWidth() * 2;
    const int checkWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    firstColumn = qMax(0, firstColumn);
    lastColumn = qMin(lastColumn, ColumnCount() - 1);
    const QVector<QVector<int>> longest = m_model->longestCells(firstColumn, lastColumn, 32);
    for (int column = firstColumn; column <= lastColumn; ++column) {
        int width = m_model->fixedRows() > 0
                        ? headerMetrics.horizontalAdvance(m_model->cellText(0, column))
                        : 0;
        if (m_model->isCheckColumn(column)) {
            width = qMax(width, checkWidth);
        } else {
            for (int row : longest[column - firstColumn])
                width =
                    qMax(width, cellMetrics.horizontalAdvance(m_model->displayText(row, column)));
        }
        // No column takes more than a third of the grid: a long name or error text is
        // elided on screen and whole in its tooltip.
        const int widest = qMax(checkWidth + padding, viewport()->width() / 3);
        setColumnWidth(column, qMin(width + padding, widest));
    }
}

void BillingGrid::showCell(int row, int column) {
    m_model->publish();
    // Column widths may have changed since the scroll bars were last laid out.
    updateGeometries();
    const int viewRow = row - (m_model->fixedRows() > 0 ? 1 : 0);
    if (viewRow >= 0 && viewRow < m_model->rowCount())
        scrollTo(m_model->index(viewRow, column));
}

void BillingGrid::showRowFromTheLeft(int row) {
    showCell(row, 0);
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

QList<int> BillingGrid::selectedGridRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << m_model->gridRow(index.row());
    return rows;
}

void BillingGrid::selectGridRows(const QList<int>& rows) {
    const int fixed = m_model->fixedRows() > 0 ? 1 : 0;
    QItemSelection selection;
    for (const int row : rows)
        if (row - fixed >= 0 && row - fixed < m_model->rowCount())
            selection.select(m_model->index(row - fixed, 0),
                             m_model->index(row - fixed, m_model->columnCount() - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QString BillingGrid::selectedRowsText() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << m_model->gridRow(index.row());
    std::sort(rows.begin(), rows.end());
    if (m_model->fixedRows() > 0)
        rows.prepend(0);
    QStringList lines;
    for (const int row : rows) {
        QStringList cells;
        for (int column = 0; column < ColumnCount(); ++column) {
            const QString text = m_model->cellText(row, column);
            const auto number = FixedForms::readNumber(text);
            const auto hundredths = number ? Money::toHundredths(*number) : std::nullopt;
            const bool money =
                row > 0 && m_model->columnFormat(column) == GridColumns::moneyFormat();
            cells << (money && hundredths ? Money::hundredthsFixedText(*hundredths) : text);
        }
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

void BillingGrid::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        QGuiApplication::clipboard()->setText(selectedRowsText());
        event->accept();
        return;
    }
    // Space checks or unchecks "Send" on every selected row, from any column: all of them
    // checked when any was not, else all unchecked.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        QList<int> rows = selectedGridRows();
        if (rows.isEmpty() && currentIndex().isValid())
            rows << m_model->gridRow(currentIndex().row());
        rows.removeIf([this](int row) { return row < 1 || !editAllowed(row, GridColumns::Send); });
        if (!rows.isEmpty()) {
            const bool check = std::any_of(rows.cbegin(), rows.cend(), [this](int row) {
                return CheckCell::read(CellText(row, GridColumns::Send)) != std::optional(true);
            });
            for (const int row : std::as_const(rows))
                SetCellText(row, GridColumns::Send, CheckCell::text(check));
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void BillingGrid::Repaint() {
    m_model->publish();
    viewport()->update();
    horizontalHeader()->viewport()->update();
}

QString BillingGrid::defaultPrintFile(const QString& title) {
    QString name = title;
    // What a file name cannot hold, and the dots that a print dialog takes for an extension.
    static const QRegularExpression unfit(QStringLiteral("[/\\\\:*?\"<>|.\\x00-\\x1f]"));
    name.replace(unfit, QStringLiteral("-"));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QDir(folder).filePath(name.trimmed() + QStringLiteral(".pdf"));
}

void BillingGrid::PrintWithTitle(const QString& title, bool showDialog, int orientation,
                                 int leftRightMargin, int topBottomMargin) {
    m_model->publish();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    const bool toFile = !testPdfPath().isEmpty() || QPrinterInfo::availablePrinterNames().isEmpty();
    if (toFile) {
        // Paper of the clerk's country where no printer says otherwise.
        printer.setOutputFileName(testPdfPath().isEmpty() ? defaultPrintFile(title)
                                                          : testPdfPath());
        printer.setPageSize(QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem
                                          ? QPageSize::Letter
                                          : QPageSize::A4));
    }
    printer.setPageOrientation(orientation == Landscape ? QPageLayout::Landscape
                                                        : QPageLayout::Portrait);
    const double lr = leftRightMargin / 1440.0;
    const double tb = topBottomMargin / 1440.0;
    printer.setPageMargins(QMarginsF(lr, tb, lr, tb), QPageLayout::Inch);
    if (showDialog && testPdfPath().isEmpty()) {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(title);
        if (!toFile) // the dialog offers a file named after the document: one without slashes
            printer.setDocName(QFileInfo(defaultPrintFile(title)).completeBaseName());
        const int answer = dialog.exec();
        printer.setDocName(title);
        if (answer != QDialog::Accepted)
            return;
    }
    GridPrinter(*m_model).print(printer, title, m_printSubtitle);
}

void BillingGrid::setPrintToPdfForTesting(const QString& pdfPath) {
    testPdfPath() = pdfPath;
}
