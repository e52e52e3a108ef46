#include "grid/GridModel.h"

#include "core/CheckCell.h"
#include "core/GridColumns.h"
#include "core/MoneyFormat.h"

#include <QByteArrayView>
#include <algorithm>
#include <cstring>
#include <queue>

namespace {
constexpr char Separator = '\t';

// The byte range of one cell inside a stored row; empty when the row has fewer cells.
QByteArrayView cellView(const QByteArray& row, int column) {
    qsizetype start = 0;
    for (int i = 0; i < column; ++i) {
        const qsizetype tab = row.indexOf(Separator, start);
        if (tab < 0)
            return QByteArrayView();
        start = tab + 1;
    }
    qsizetype end = row.indexOf(Separator, start);
    if (end < 0)
        end = row.size();
    return QByteArrayView(row).sliced(start, end - start);
}
} // namespace

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void GridModel::resetView() {
    beginResetModel();
    m_publishedRows = int(m_rows.size());
    endResetModel();
}

void GridModel::setStoredRowCount(int rows) {
    rows = qMax(0, rows);
    if (rows == 0) {
        // An empty grid keeps nothing of the rows it had, nor their memory.
        std::vector<QByteArray>().swap(m_rows);
    } else {
        m_rows.resize(size_t(rows));
    }
    resetView();
}

void GridModel::setStoredColumnCount(int columns) {
    m_columnCount = qMax(0, columns);
    m_columnTypes.resize(m_columnCount);
    m_columnFormats.resize(m_columnCount);
    resetView();
}

void GridModel::appendRow(const QString& tabSeparatedCells) {
    // A row of plain ASCII is its own UTF-8, taken at its size at once; otherwise the
    // conversion reserves three bytes a character, and a list of many rows keeps only what
    // each row holds.
    const bool ascii = std::all_of(tabSeparatedCells.cbegin(), tabSeparatedCells.cend(),
                                   [](QChar c) { return c.unicode() < 0x80; });
    m_rows.push_back(ascii ? tabSeparatedCells.toLatin1() : tabSeparatedCells.toUtf8());
    if (!ascii)
        m_rows.back().squeeze();
}

QString GridModel::cellText(int row, int column) const {
    if (row < 0 || row >= storedRowCount() || column < 0)
        return QString();
    const QByteArrayView cell = cellView(m_rows[size_t(row)], column);
    return QString::fromUtf8(cell.data(), cell.size());
}

void GridModel::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= storedRowCount() || column < 0)
        return;
    QList<QByteArray> cells = m_rows[size_t(row)].split(Separator);
    while (cells.size() <= column)
        cells.append(QByteArray());
    // The tab separates cells, so a cell never holds one.
    cells[column] = QString(text).replace(u'\t', u' ').toUtf8();
    while (cells.size() > 1 && cells.constLast().isEmpty())
        cells.removeLast();
    m_rows[size_t(row)] = cells.join(Separator);

    publish();
    const int viewRow = row - headerRows();
    if (viewRow >= 0 && viewRow < m_publishedRows - headerRows() && column < m_columnCount) {
        const QModelIndex at = index(viewRow, column);
        emit dataChanged(at, at);
    } else if (viewRow < 0 && column < m_columnCount) {
        emit headerDataChanged(Qt::Horizontal, column, column);
    }
}

void GridModel::setFixedRows(int rows) {
    m_fixedRows = qMax(0, rows);
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

bool GridModel::isCheckColumn(int column) const {
    return columnType(column) == GridColumns::TypeBoolean;
}

QString GridModel::displayText(int row, int column) const {
    const QString text = cellText(row, column);
    if (columnFormat(column) == GridColumns::moneyFormat())
        return MoneyFormat::display(text);
    return text;
}

QVector<QVector<int>> GridModel::longestCells(int first, int last, int count) const {
    // Per column a min-heap of (length, row) keeps the count longest cells seen so far.
    using Entry = std::pair<qsizetype, int>;
    using Heap = std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>>;
    first = qMax(0, first);
    std::vector<Heap> longest(size_t(qMax(0, last - first + 1)));
    for (int row = headerRows(); row < storedRowCount() && !longest.empty(); ++row) {
        const QByteArray& cells = m_rows[size_t(row)];
        qsizetype start = 0;
        for (int column = 0; column <= last; ++column) {
            const char* found =
                start >= cells.size()
                    ? nullptr
                    : static_cast<const char*>(std::memchr(cells.constData() + start, Separator,
                                                           size_t(cells.size() - start)));
            const qsizetype tab = found ? found - cells.constData() : -1;
            const qsizetype end = tab < 0 ? cells.size() : tab;
            const qsizetype length = qMax<qsizetype>(0, end - start);
            if (column >= first) {
                Heap& heap = longest[size_t(column - first)];
                if (int(heap.size()) < count) {
                    heap.emplace(length, row);
                } else if (length > heap.top().first) {
                    heap.pop();
                    heap.emplace(length, row);
                }
            }
            start = tab < 0 ? cells.size() + 1 : tab + 1;
        }
    }
    QVector<QVector<int>> rows(qsizetype(longest.size()));
    for (size_t i = 0; i < longest.size(); ++i)
        for (; !longest[i].empty(); longest[i].pop())
            rows[qsizetype(i)] << longest[i].top().second;
    return rows;
}

void GridModel::publish() {
    const int stored = int(m_rows.size());
    if (stored == m_publishedRows)
        return;
    // The first row published may change what the header shows; a reset covers that too.
    if (m_publishedRows == 0 || stored < m_publishedRows) {
        resetView();
        return;
    }
    const int first = m_publishedRows - headerRows();
    beginInsertRows(QModelIndex(), first, stored - headerRows() - 1);
    m_publishedRows = stored;
    endInsertRows();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : qMax(0, m_publishedRows - headerRows());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const int row = gridRow(index.row());
    const int column = index.column();
    const bool money = columnFormat(column) == GridColumns::moneyFormat();
    switch (role) {
    case Qt::DisplayRole:
        if (isCheckColumn(column) && row >= m_fixedRows)
            return QVariant();
        return displayText(row, column);
    case Qt::EditRole:
        return cellText(row, column);
    case Qt::ToolTipRole: {
        // The whole text, where the column is too narrow for it.
        const QString text = isCheckColumn(column) ? QString() : displayText(row, column);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::CheckStateRole:
        if (isCheckColumn(column) && row >= m_fixedRows)
            return CheckCell::read(cellText(row, column)).value_or(false) ? Qt::Checked
                                                                          : Qt::Unchecked;
        return QVariant();
    case Qt::TextAlignmentRole:
        if (money)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (isCheckColumn(column))
            return QVariant(Qt::AlignCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && headerRows() > 0)
        return cellText(0, section);
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return gridRow(section);
    return QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (gridRow(index.row()) < m_fixedRows)
        return f;
    if (isCheckColumn(index.column()))
        return f | Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsEditable;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid())
        return false;
    const int row = gridRow(index.row());
    const int column = index.column();
    if (row < m_fixedRows)
        return false;
    if (role == Qt::CheckStateRole && isCheckColumn(column)) {
        // A click on a check box edits the cell at once; text cells ask when their editor
        // opens (BillingGrid::edit).
        if (m_editRequest && !m_editRequest(row, column))
            return false;
        setCellText(row, column, CheckCell::text(value.toInt() == Qt::Checked));
        return true;
    }
    if (role == Qt::EditRole && !isCheckColumn(column)) {
        setCellText(row, column, value.toString());
        return true;
    }
    return false;
}
