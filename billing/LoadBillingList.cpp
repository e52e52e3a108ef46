#include "billing/LoadBillingList.h"

#include "billing/BillingInputs.h"
#include "billing/BillingQuery.h"
#include "billing/Recordset.h"
#include "billing/ScheduleRules.h"
#include "core/CheckCell.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"

namespace {
QString textOrEmpty(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}
} // namespace

QString LoadBillingList(const BillingInputs& inputs, GridOperations& grid,
                        const DbConnection& connection) {
    const QString organisation = inputs.organisation();
    const BillingQuery::FieldSet& fields = BillingQuery::fieldSetFor(organisation);
    const QString statement = BillingQuery::statement(organisation, inputs.billingMethod());

    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));

    Recordset records;
    records.open(statement, connection);
    const QString unchecked = CheckCell::text(false);
    while (!records.eof()) {
        // The same decision the rules' tests try, record by record.
        const QVariant frequencyText = records.field(fields.frequency);
        const auto line = ScheduleRules::judge(frequencyText, records.field(fields.yearlyAmount),
                                               records.field(fields.anniversary),
                                               inputs.startDate(), inputs.endDate());
        if (line) {
            const QStringList cells{
                unchecked,
                textOrEmpty(records.field(fields.company)),
                textOrEmpty(records.field(fields.contact)),
                line->amountToBill,
                line->yearlyAmount,
                line->anniversary,
                frequencyText.toString(),
                line->invoiceDate,
                line->dueDate,
            };
            grid.AppendRow(cells.join(u'\t'));
        }
        records.moveNext();
    }
    records.close();

    grid.SetColumnType(GridColumns::Send, GridColumns::TypeBoolean);
    grid.SetColumnFormat(GridColumns::AmountToBill, GridColumns::moneyFormat());
    grid.SetColumnFormat(GridColumns::AnnualDues, GridColumns::moneyFormat());
    grid.SetColumnType(GridColumns::BillAnniv, GridColumns::TypeDate);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.Repaint();
    return organisation;
}
