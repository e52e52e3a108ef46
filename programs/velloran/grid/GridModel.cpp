#include "grid/GridModel.h"

#include "core/GridColumns.h"
#include "core/MoneyFormat.h"

#include <algorithm>
#include <queue>

namespace {
// A name's tab and line ends, shown in a one-line cell: the cell says they are there, its
// tooltip and the copied text hold the name as it is.
QString oneLine(QString text) {
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\u21B5"));
    text.replace(u'\n', QChar(0x21B5));
    text.replace(u'\r', QChar(0x21B5));
    text.replace(u'\t', QChar(0x2192));
    return text;
}
} // namespace

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void GridModel::resetView() {
    beginResetModel();
    m_publishedRows = listRows();
    endResetModel();
}

void GridModel::appendLine(BillingLine line) {
    m_list.appendLine(std::move(line));
}

void GridModel::lineChanged(int line) {
    publish();
    const QModelIndex first = indexOf(line, 0);
    if (first.isValid() && m_columnCount > 0)
        emit dataChanged(first, index(first.row(), m_columnCount - 1));
}

void GridModel::setLine(int index, BillingLine line) {
    if (index < 0 || index >= m_list.lineCount())
        return;
    m_list.setLine(index, std::move(line));
    lineChanged(index);
}

void GridModel::setHeaderRow(const QStringList& texts) {
    const bool had = m_list.hasHeaderRow();
    m_list.setHeaderRow(texts);
    if (!had) {
        resetView();
    } else if (headerShown() && m_columnCount > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, m_columnCount - 1);
    } else if (m_columnCount > 0 && rowCount() > 0) {
        emit dataChanged(index(0, 0), index(0, m_columnCount - 1));
    }
}

void GridModel::empty() {
    m_list.empty();
    resetView();
}

void GridModel::resizeLines(int count) {
    m_list.resizeLines(count);
    resetView();
}

void GridModel::takeList(BillingList list) {
    const int columns = list.ColumnCount();
    m_list = std::move(list);
    m_list.squeeze();
    setColumnCount(columns);
}

void GridModel::setColumnCount(int columns) {
    m_columnCount = qMax(0, columns);
    m_list.SetColumnCount(m_columnCount);
    m_columnTypes.resize(m_columnCount);
    m_columnFormats.resize(m_columnCount);
    resetView();
}

void GridModel::setFixedRows(int rows) {
    m_fixedRows = qMax(0, rows);
    // The list grows no more once it is fixed: what it reserved while growing goes back.
    m_list.squeeze();
    resetView();
}

void GridModel::setColumnType(int column, int typeCode) {
    if (column >= 0 && column < m_columnCount) {
        m_columnTypes[column] = typeCode;
        publish();
        if (rowCount() > 0)
            emit dataChanged(index(0, column), index(rowCount() - 1, column));
    }
}

int GridModel::columnType(int column) const {
    return column >= 0 && column < m_columnCount ? m_columnTypes[column] : 0;
}

void GridModel::setColumnFormat(int column, const QString& format) {
    if (column >= 0 && column < m_columnCount) {
        m_columnFormats[column] = format;
        publish();
        if (rowCount() > 0)
            emit dataChanged(index(0, column), index(rowCount() - 1, column));
    }
}

QString GridModel::columnFormat(int column) const {
    return column >= 0 && column < m_columnCount ? m_columnFormats[column] : QString();
}

bool GridModel::isMoneyColumn(int column) const {
    return columnFormat(column) == GridColumns::moneyFormat();
}

bool GridModel::isCheckColumn(int column) const {
    return columnType(column) == GridColumns::TypeBoolean;
}

QString GridModel::printText(int line, int column) const {
    if (line < 0 || line >= m_list.lineCount())
        return QString();
    const BillingLine& at = m_list.line(line);
    if (isMoneyColumn(column))
        if (const auto amount = BillingCells::money(at, column))
            return MoneyFormat::display(*amount);
    return BillingCells::text(at, column);
}

QString GridModel::displayText(int line, int column) const {
    return oneLine(printText(line, column));
}

QVector<QVector<int>> GridModel::longestCells(int first, int last, int count) const {
    // Per column a min-heap of (length, line) keeps the count longest cells seen so far.
    using Entry = std::pair<qsizetype, int>;
    using Heap = std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>>;
    first = qMax(0, first);
    std::vector<Heap> longest(size_t(qMax(0, last - first + 1)));
    for (int line = 0; line < m_list.lineCount() && !longest.empty(); ++line) {
        const BillingLine& cells = m_list.line(line);
        for (int column = first; column <= last; ++column) {
            const qsizetype length = BillingCells::textLength(cells, column);
            Heap& heap = longest[size_t(column - first)];
            if (int(heap.size()) < count) {
                heap.emplace(length, line);
            } else if (length > heap.top().first) {
                heap.pop();
                heap.emplace(length, line);
            }
        }
    }
    QVector<QVector<int>> lines(qsizetype(longest.size()));
    for (size_t i = 0; i < longest.size(); ++i)
        for (; !longest[i].empty(); longest[i].pop())
            lines[qsizetype(i)] << longest[i].top().second;
    return lines;
}

void GridModel::publish() {
    const int stored = listRows();
    if (stored == m_publishedRows)
        return;
    // The first row published may change what the header shows; a reset covers that too.
    if (m_publishedRows == 0 || stored < m_publishedRows) {
        resetView();
        return;
    }
    beginInsertRows(QModelIndex(), viewRows(m_publishedRows), viewRows(stored) - 1);
    m_publishedRows = stored;
    endInsertRows();
}

QModelIndex GridModel::indexOf(int line, int column) const {
    const int viewRow = headerShown() ? line : line + 1;
    if (line < 0 || viewRow >= rowCount())
        return QModelIndex();
    return index(viewRow, column);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : qMax(0, viewRows(m_publishedRows));
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const int line = lineAt(index.row());
    const int column = index.column();
    if (line < 0) { // the header row, shown as a row while no row is fixed
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_list.headerRow().value(column);
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        if (isCheckColumn(column))
            return QVariant();
        return displayText(line, column);
    case Qt::EditRole:
        return BillingCells::text(m_list.line(line), column);
    case Qt::ToolTipRole: {
        // The whole text, where the column is too narrow for it.
        const QString text = isCheckColumn(column) ? QString() : printText(line, column);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::CheckStateRole:
        if (isCheckColumn(column))
            return m_list.line(line).send ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    case Qt::TextAlignmentRole:
        if (isMoneyColumn(column))
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (isCheckColumn(column))
            return QVariant(Qt::AlignCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && headerShown())
        return m_list.headerRow().value(section);
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (lineAt(index.row()) < 0)
        return f;
    if (isCheckColumn(index.column()))
        return f | Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsEditable;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid())
        return false;
    const int line = lineAt(index.row());
    const int column = index.column();
    if (line < 0)
        return false;
    if (role == Qt::CheckStateRole && isCheckColumn(column)) {
        // A click on a check box edits the cell at once; text cells ask when their editor
        // opens (BillingGrid::edit).
        if (m_editRequest && !m_editRequest(line, column))
            return false;
        BillingLine changed = m_list.line(line);
        changed.send = value.toInt() == Qt::Checked;
        changed.asWritten.remove(column);
        setLine(line, std::move(changed));
        return true;
    }
    if (role == Qt::EditRole && !isCheckColumn(column)) {
        // An edited text is read into its value here, once.
        BillingLine changed = m_list.line(line);
        BillingCells::setText(changed, column, value.toString());
        setLine(line, std::move(changed));
        return true;
    }
    return false;
}
