#include "grid/BillingGrid.h"

#include <QScrollBar>

#include "grid/CheckCellDelegate.h"
#include "grid/GridModel.h"
#include "grid/GridPrinter.h"

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

bool BillingGrid::editAllowed(int line, int column) {
    bool cancel = false;
    // The kept event counts rows as the earlier grid did, below its header row.
    emit CellEditRequested(line + 1, column, cancel);
    return !cancel;
}

bool BillingGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (index.isValid() && (m_model->flags(index) & Qt::ItemIsEditable) &&
        (editTriggers() & trigger) && !editAllowed(m_model->lineAt(index.row()), index.column()))
        return false;
    return QTableView::edit(index, trigger, event);
}

int BillingGrid::lineCount() const {
    return m_model->list().lineCount();
}

const BillingLine& BillingGrid::line(int index) const {
    return m_model->list().line(index);
}

void BillingGrid::appendLine(BillingLine line) {
    m_model->appendLine(std::move(line));
}

void BillingGrid::setLine(int index, BillingLine line) {
    m_model->setLine(index, std::move(line));
}

const ListFacts& BillingGrid::facts() const {
    return m_model->list().facts();
}

void BillingGrid::setFacts(const ListFacts& facts) {
    m_model->setFacts(facts);
}

bool BillingGrid::hasHeaderRow() const {
    return m_model->list().hasHeaderRow();
}

QStringList BillingGrid::headerRow() const {
    return m_model->list().headerRow();
}

void BillingGrid::setHeaderRow(const QStringList& texts) {
    m_model->setHeaderRow(texts);
}

void BillingGrid::empty() {
    m_model->empty();
}

void BillingGrid::resizeLines(int count) {
    m_model->resizeLines(count);
}

void BillingGrid::takeList(BillingList list) {
    m_model->takeList(std::move(list));
}

void BillingGrid::SetColumnCount(int columns) {
    m_model->setColumnCount(columns);
}

int BillingGrid::ColumnCount() const {
    return m_model->storedColumnCount();
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
    const QStringList header = headerRow();
    for (int column = firstColumn; column <= lastColumn; ++column) {
        int width =
            m_model->headerShown() ? headerMetrics.horizontalAdvance(header.value(column)) : 0;
        if (m_model->isCheckColumn(column)) {
            width = qMax(width, checkWidth);
        } else {
            for (int line : longest[column - firstColumn])
                width =
                    qMax(width, cellMetrics.horizontalAdvance(m_model->displayText(line, column)));
        }
        // No column takes more than a third of the grid: a long name or error text is
        // elided on screen and whole in its tooltip.
        const int widest = qMax(checkWidth + padding, viewport()->width() / 3);
        setColumnWidth(column, qMin(width + padding, widest));
    }
}

void BillingGrid::showLine(int line, int column) {
    m_model->publish();
    // Column widths may have changed since the scroll bars were last laid out.
    updateGeometries();
    const QModelIndex at = m_model->indexOf(line, column);
    if (at.isValid())
        scrollTo(at);
}

void BillingGrid::showLineFromTheLeft(int line) {
    showLine(line, 0);
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

int BillingGrid::currentLine() const {
    return currentIndex().isValid() ? m_model->lineAt(currentIndex().row()) : -1;
}

QList<int> BillingGrid::selectedLines() const {
    QList<int> lines;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (const int line = m_model->lineAt(index.row()); line >= 0)
            lines << line;
    return lines;
}

void BillingGrid::selectLines(const QList<int>& lines) {
    QItemSelection selection;
    for (const int line : lines) {
        const QModelIndex first = m_model->indexOf(line, 0);
        if (first.isValid())
            selection.select(first, m_model->index(first.row(), m_model->columnCount() - 1));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

namespace {
// A cell as a spreadsheet reads it from the clipboard: one holding a tab, a line end or a
// double quote goes in double quotes, its own quotes doubled.
QString spreadsheetCell(QString text) {
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r') &&
        !text.contains(u'"'))
        return text;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}
} // namespace

QString BillingGrid::selectedRowsText() const {
    QList<int> lines = selectedLines();
    std::sort(lines.begin(), lines.end());
    QStringList rows;
    if (m_model->headerShown())
        rows << headerRow().join(u'\t');
    for (const int line : std::as_const(lines)) {
        QStringList cells;
        const BillingLine& at = this->line(line);
        for (int column = 0; column < ColumnCount(); ++column) {
            const auto money =
                m_model->isMoneyColumn(column) ? BillingCells::money(at, column) : std::nullopt;
            cells << (money ? Money::hundredthsFixedText(*money)
                            : spreadsheetCell(BillingCells::text(at, column)));
        }
        rows << cells.join(u'\t');
    }
    return rows.join(u'\n') + u'\n';
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
        QList<int> lines = selectedLines();
        if (lines.isEmpty() && currentLine() >= 0)
            lines << currentLine();
        lines.removeIf([this](int line) { return !editAllowed(line, GridColumns::Send); });
        if (!lines.isEmpty()) {
            const bool check = std::any_of(lines.cbegin(), lines.cend(),
                                           [this](int line) { return !this->line(line).send; });
            for (const int line : std::as_const(lines))
                setSend(line, check);
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
    const bool toFile = !m_printFile.isEmpty() || QPrinterInfo::availablePrinterNames().isEmpty();
    if (toFile) {
        // Paper of the clerk's country where no printer says otherwise.
        printer.setOutputFileName(m_printFile.isEmpty() ? defaultPrintFile(title) : m_printFile);
        printer.setPageSize(QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem
                                          ? QPageSize::Letter
                                          : QPageSize::A4));
    }
    printer.setPageOrientation(orientation == Landscape ? QPageLayout::Landscape
                                                        : QPageLayout::Portrait);
    const double lr = leftRightMargin / 1440.0;
    const double tb = topBottomMargin / 1440.0;
    printer.setPageMargins(QMarginsF(lr, tb, lr, tb), QPageLayout::Inch);
    if (showDialog && m_printFile.isEmpty()) {
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
    if (!printer.outputFileName().isEmpty())
        emit printedToFile(printer.outputFileName());
}
