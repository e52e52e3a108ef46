#include "PostingFixture.h"

#include "QbSync.h"

#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/PostingRun.h"
#include "posting/RunLease.h"
#include "qbxml/RequestProcessor.h"

#include <QEventLoop>

namespace {
struct ChamberHost : PostingHost {
    QString listOrganisation() const override {
        return QStringLiteral("Kestlemere Chamber of Commerce");
    }
    int emailBoxValue() const override { return Checked; }
    bool confirm(const QString&, const QString&) override { return true; }
    void setBusy(bool) override {}
};
} // namespace

const QStringList PostingFixture::Members{"Abbott & Sons Hardware", "Birchwood Bakery",
                                          "Café Lumière", "Dunmore Legal LLP",
                                          "Evergreen Landscaping"};
const QStringList PostingFixture::Addresses{"a@abbott.example", "", "cafe@lumiere.example", "",
                                            "e@evergreen.example"};

QStringList PostingFixture::customers() {
    QStringList list;
    for (int i = 0; i < Members.size(); ++i)
        list << (Addresses[i].isEmpty() ? Members[i] : Members[i] + u'|' + Addresses[i]);
    return list;
}

void PostingFixture::fillMembers(BillingGrid& grid, const QStringList& members) {
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    for (const QString& member : members)
        grid.AppendRow(QStringList{"True", member, "Contact", "250", "1000", "06/15/2018",
                                   "Quarterly", "3/1/2027", "3/15/2027"}
                           .join(u'\t'));
    grid.SetFixedRows(1);
}

QStringList PostingFixture::resultsOf(const BillingGrid& grid) {
    QStringList results;
    for (int row = 1; row < grid.RowCount(); ++row)
        results << grid.CellText(row, GridColumns::Result);
    return results;
}

void PostingFixture::listAgain(BillingGrid& grid, PostingJournal& journal,
                               const QStringList& members) {
    fillMembers(grid, members);
    journal.clear();
}

QMap<QString, int> PostingFixture::billed(const QList<QJsonObject>& invoices) {
    QMap<QString, int> count;
    for (const QJsonObject& invoice : invoices)
        ++count[invoice.value("customer").toString()];
    return count;
}

void PostingFixture::runToEnd(PostingHost& host, GridOperations& grid, RequestProcessor& processor,
                              InvoiceComponent& invoice, CustomerComponent& customer,
                              RunLease& lease, const PostingItems& items, PostingJournal& journal,
                              const std::function<void(int row)>& afterRow) {
    PostingRun run({host, grid, processor, invoice, customer, lease, items, journal});
    if (afterRow)
        QObject::connect(&run, &PostingRun::rowFinished, afterRow);
    QEventLoop loop;
    QObject::connect(&run, &PostingRun::finished, &loop, &QEventLoop::quit);
    if (run.start())
        loop.exec();
}

void PostingFixture::postOnce(const QString& socketPath, BillingGrid& grid, PostingJournal& journal,
                              int answerTimeoutMs, qint64* requests,
                              const std::function<void(int row)>& afterRow) {
    RequestProcessor processor(socketPath);
    processor.setAnswerTimeoutMs(answerTimeoutMs);
    SyncInvoice invoice(processor);
    SyncCustomer customer(processor);
    SyncLease lease(processor);
    ChamberHost host;
    runToEnd(host, grid, processor, invoice, customer, lease,
             {QStringLiteral("Membership Dues"), QStringLiteral("Pledge")}, journal, afterRow);
    if (requests)
        *requests = processor.requestsSent();
}
