#include "billing/CollectedRows.h"

#include "billing/LoadBillingList.h"

void CollectedRows::SetRowCount(int rows) {
    while (m_rows.size() > rows)
        m_rows.removeLast();
    while (m_rows.size() < rows)
        m_rows << QString();
}

QString CollectedRows::CellText(int row, int column) const {
    return m_rows.value(row).section(u'\t', column, column);
}

void CollectedRows::SetCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= m_rows.size())
        return;
    QStringList cells = m_rows[row].split(u'\t');
    while (cells.size() <= column)
        cells << QString();
    cells[column] = text;
    m_rows[row] = cells.join(u'\t');
}

void CollectedRows::writeInto(GridOperations& grid) const {
    grid.SetRowCount(0);
    grid.SetColumnCount(m_columns);
    for (const QString& row : m_rows)
        grid.AppendRow(row);
    formatBillingList(grid);
}
