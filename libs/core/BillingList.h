#pragma once

#include "core/GridOperations.h"

#include <optional>
#include <vector>

// The billing list without a screen: its header row, lines and facts. A fill makes one on the
// database's thread, and the window's grid takes it whole once the fill is done; the grid's
// model keeps one too. How the list is shown is not its business: the column count is kept,
// the rest of the showing does nothing here.
class BillingList : public GridOperations {
public:
    int lineCount() const override { return int(m_lines.size()); }
    const BillingLine& line(int index) const override { return m_lines[size_t(index)]; }
    void appendLine(BillingLine line) override { m_lines.push_back(std::move(line)); }
    void setLine(int index, BillingLine line) override { m_lines[size_t(index)] = std::move(line); }
    const ListFacts& facts() const override { return m_facts; }
    void setFacts(const ListFacts& facts) override { m_facts = facts; }

    bool hasHeaderRow() const override { return m_header.has_value(); }
    QStringList headerRow() const override { return m_header.value_or(QStringList()); }
    void setHeaderRow(const QStringList& texts) override { m_header = texts; }
    void empty() override;
    void resizeLines(int count) override { m_lines.resize(size_t(qMax(0, count))); }

    void SetColumnCount(int columns) override { m_columns = qMax(0, columns); }
    int ColumnCount() const override { return m_columns; }
    void SetFixedRows(int) override {}
    void SetFixedColumns(int) override {}
    void SetColumnType(int, int) override {}
    void SetColumnFormat(int, const QString&) override {}
    void FitColumns(int, int) override {}
    void Repaint() override {}

    // A list of many lines keeps only what they hold, not the room its growth reserved.
    void squeeze() { m_lines.shrink_to_fit(); }

private:
    std::optional<QStringList> m_header;
    std::vector<BillingLine> m_lines;
    ListFacts m_facts;
    int m_columns = 0;
};
