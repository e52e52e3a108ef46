#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>

class BillingGrid;
class CustomerComponent;
class GridOperations;
class InvoiceComponent;
class PostingHost;
class PostingJournal;
class RequestProcessor;
class RunLease;
struct PostingItems;

// Invoice runs of a small chamber list, shared by the tests that post through real channels:
// five members, three of them with an e-mail address on file, billed with "Mark To Email".
namespace PostingFixture {

extern const QStringList Members;
extern const QStringList Addresses;

// The members as QbHostProcess takes customers ("Name|address").
QStringList customers();

// One checked quarterly row per member (or per name given).
void fillMembers(BillingGrid& grid, const QStringList& members = Members);
QStringList resultsOf(const BillingGrid& grid);
// The month listed again: a new list of the same rows, without results or journal.
void listAgain(BillingGrid& grid, PostingJournal& journal, const QStringList& members = Members);
// How many invoices each customer has.
QMap<QString, int> billed(const QList<QJsonObject>& invoices);

// Posts the grid once, with the e-mail box checked, through a fresh channel to socketPath;
// how many requests went out in *requests, where given.
// One Create Invoices to its end, the event loop running meanwhile as the window's does;
// afterRow is called as each row's result is written.
void runToEnd(PostingHost& host, GridOperations& grid, RequestProcessor& processor,
              InvoiceComponent& invoice, CustomerComponent& customer, RunLease& lease,
              const PostingItems& items, PostingJournal& journal,
              const std::function<void(int row)>& afterRow = {});

// afterRow is called as each row's result is written.
void postOnce(const QString& socketPath, BillingGrid& grid, PostingJournal& journal,
              int answerTimeoutMs = 60000, qint64* requests = nullptr,
              const std::function<void(int row)>& afterRow = {});

} // namespace PostingFixture
