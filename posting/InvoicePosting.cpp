#include "posting/InvoicePosting.h"

#include "app/Failure.h"
#include "app/FixedForms.h"
#include "app/Money.h"
#include "billing/BillingQuery.h"
#include "grid/CheckCell.h"
#include "grid/GridColumns.h"
#include "grid/GridOperations.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/PeriodText.h"

#include <limits>

namespace {
const QString Successful = QStringLiteral("Successful");
const QString EmailConfig =
    QStringLiteral("AppendAfter:IsToBePrinted=<IsToBeEmailed>1</IsToBeEmailed>");

QString errorText(const Failure& failure) {
    return QStringLiteral("Error %1: %2").arg(failure.number()).arg(failure.description());
}

// The line amount: the cell's number in hundredths, an exact half going to the even one.
qint32 hundredthsOf(const QString& amountText) {
    const auto amount = FixedForms::readNumber(amountText);
    if (!amount)
        throw Failure::typeMismatch();
    const auto hundredths = Money::toHundredths(*amount);
    if (!hundredths || *hundredths > std::numeric_limits<qint32>::max() ||
        *hundredths < std::numeric_limits<qint32>::min())
        throw Failure::overflow();
    return qint32(*hundredths);
}

// The e-mail mark comes after the invoice exists. When it fails the invoice stays, marked to
// be printed, and the row must say both.
struct FollowUpFailed {
    Failure failure;
};

void postRow(PostingHost& host, GridOperations& grid, int row, InvoiceComponent& invoice,
             CustomerComponent& customer, const PostingItems& items) {
    using namespace GridColumns;
    invoice.ClearInvoice();
    const QString company = grid.CellText(row, Company);
    invoice.SetInvoiceCustomer(company.isEmpty() ? grid.CellText(row, Contact) : company);
    invoice.SetTransactionDate(grid.CellText(row, InvoiceDate));
    invoice.SetDueDate(grid.CellText(row, DueDate));
    invoice.SetToBePrinted(true);

    const int emailBox = host.emailBoxValue();
    const bool qualifies =
        InvoicePosting::CustomerQualifiesForEmail(customer, invoice.InvoiceCustomer());
    const bool email = emailBox == 1 && qualifies;
    if (email) {
        invoice.SetRequestVersion(QStringLiteral("6.0"));
        invoice.ApplyConfig(EmailConfig);
    }

    invoice.SetLineCount(1);
    invoice.SetLineItem(0, BillingQuery::isChamber(host.listOrganisation()) ? items.chamberItem
                                                                            : items.foundationItem);
    const QString period =
        PeriodText::of(grid.CellText(row, DueDate), grid.CellText(row, BillAnniv),
                       grid.CellText(row, BillFrequency));
    invoice.SetLineDescription(0, host.listOrganisation() + QStringLiteral(" Membership Dues ") +
                                      period);
    invoice.SetLineQuantity(0, 1);
    invoice.SetLineAmount(0, hundredthsOf(grid.CellText(row, AmountToBill)));
    invoice.SetLineExtra(0, QString());
    invoice.AddInvoice();
    const QString id = invoice.AddedInvoiceId();

    if (email) {
        try {
            invoice.ClearInvoice();
            invoice.LoadInvoice(id);
            invoice.SetToBePrinted(false);
            invoice.UpdateInvoice();
        } catch (const Failure& failure) {
            throw FollowUpFailed{failure};
        }
    }
    grid.SetCellText(row, Result, Successful);
}
} // namespace

bool InvoicePosting::isPosted(const QString& result) {
    return result == Successful || result.startsWith(Successful + u',');
}

bool InvoicePosting::CustomerQualifiesForEmail(CustomerComponent& customer, const QString& name) {
    try {
        customer.LookupCustomer(name);
        return !customer.LookupResultText().isEmpty();
    } catch (const Failure&) {
        return false;
    }
}

void InvoicePosting::CreateInvoices(PostingHost& host, GridOperations& grid,
                                    InvoiceComponent& invoice, CustomerComponent& customer,
                                    const PostingItems& items) {
    const QString organisation = host.listOrganisation();
    if (!host.confirm(QStringLiteral("Please make sure you have the Quickbooks file open for %1 "
                                     "and logged in as Admin. Continue?")
                          .arg(organisation),
                      QStringLiteral("QB File Open")))
        return;
    host.setBusy(true);

    int row = 0;
    try {
        const int rows = grid.RowCount();
        for (row = 1; row < rows; ++row) {
            const QString result = grid.CellText(row, GridColumns::Result);
            const auto send = CheckCell::read(grid.CellText(row, GridColumns::Send));
            if (!send)
                throw Failure::typeMismatch();
            if (isPosted(result) || !*send)
                continue;
            postRow(host, grid, row, invoice, customer, items);
        }
    } catch (const FollowUpFailed& followUp) {
        grid.SetCellText(row, GridColumns::Result,
                         Successful + QStringLiteral(", not marked to e-mail: ") +
                             errorText(followUp.failure));
    } catch (const Failure& failure) {
        grid.SetCellText(row, GridColumns::Result, errorText(failure));
    }

    grid.FitColumns(0, grid.ColumnCount() - 1);
    grid.SetFixedRows(1);
    grid.SetFixedColumns(0);
    grid.Repaint();
    host.setBusy(false);
}
