#include "billing/LoadBillingList.h"

#include "billing/BillingInputs.h"
#include "billing/BillingQuery.h"
#include "billing/PassedOver.h"
#include "billing/Recordset.h"
#include "billing/ScheduleRules.h"
#include "core/GridColumns.h"
#include "core/GridOperations.h"

#include <utility>

namespace {
QString textOrEmpty(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}
} // namespace

QString LoadBillingList(const BillingInputs& inputs, GridOperations& grid,
                        const DbConnection& connection, PassedOver* passedOver) {
    const QString organisation = inputs.organisation();
    const BillingQuery::FieldSet& fields = BillingQuery::fieldSetFor(organisation);
    const QString statement = BillingQuery::statement(organisation, inputs.billingMethod());

    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    // The list knows what it was filled with: the run and the printout describe it by these.
    grid.setFacts({organisation, inputs.billingMethod(), inputs.startDate(), inputs.endDate()});

    Recordset records;
    records.open(statement, connection,
                 {fields.company, fields.contact, fields.frequency, fields.yearlyAmount,
                  fields.anniversary});
    // The window's dates cannot change during the fill; they are read once.
    const QDate start = inputs.startDate(), end = inputs.endDate();
    if (passedOver)
        passedOver->clear();
    // Where each field stands is the statement's, not a record's: settled at the first record
    // (a statement without records reads none, as before).
    struct {
        int company, contact, frequency, yearlyAmount, anniversary;
    } at{};
    if (!records.eof())
        at = {records.position(fields.company), records.position(fields.contact),
              records.position(fields.frequency), records.position(fields.yearlyAmount),
              records.position(fields.anniversary)};
    const auto nameOf = [&] {
        return GridColumns::customerOf(textOrEmpty(records.field(at.company)),
                                       textOrEmpty(records.field(at.contact)));
    };
    while (!records.eof()) {
        // The same decision the rules' tests try, record by record; a member whose data the
        // rules cannot use in any month is named as passed over.
        const QVariant frequencyText = records.field(at.frequency);
        const ScheduleRules::Frequency frequency = ScheduleRules::frequencyOf(frequencyText);
        QVariant anniversary;
        if (frequency != ScheduleRules::Frequency::None)
            anniversary = records.field(at.anniversary);
        if (passedOver) {
            const ScheduleRules::NeverDue never = ScheduleRules::neverDue(frequency, anniversary);
            if (never == ScheduleRules::NeverDue::UnknownFrequency)
                passedOver->add(PassedOver::UnknownFrequency, nameOf(), frequencyText);
            else if (never == ScheduleRules::NeverDue::NoAnniversary)
                passedOver->add(PassedOver::NoAnniversary, nameOf(), anniversary);
        }
        auto line = ScheduleRules::judge(
            frequency, [&] { return records.field(at.yearlyAmount); }, anniversary, start, end);
        if (line) {
            line->company = textOrEmpty(records.field(at.company));
            line->contact = textOrEmpty(records.field(at.contact));
            grid.appendLine(std::move(*line));
        }
        records.moveNext();
    }
    records.close();

    formatBillingList(grid);
    return organisation;
}

void formatBillingList(GridOperations& grid) {
    grid.SetColumnType(GridColumns::Send, GridColumns::TypeBoolean);
    grid.SetColumnFormat(GridColumns::AmountToBill, GridColumns::moneyFormat());
    grid.SetColumnFormat(GridColumns::AnnualDues, GridColumns::moneyFormat());
    grid.SetColumnType(GridColumns::BillAnniv, GridColumns::TypeDate);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.Repaint();
}
