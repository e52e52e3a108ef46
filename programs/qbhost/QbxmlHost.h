#pragma once

#include "qbhost/CompanyFile.h"
#include "qbhost/MessageSetStore.h"
#include "qbhost/RequestTree.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

// Answers qbXML requests against a company file the way QuickBooks does: element order and
// request version checked, references, dates and edit sequences checked, each change stored
// before its answer is written. The document is read by RequestTree, each request carried out
// by the handler of its kind, its answer written by AnswerWriter, and message sets kept by
// MessageSetStore.
class QbxmlHost {
public:
    explicit QbxmlHost(CompanyFile& file);

    // Request kinds ("InvoiceMod") that are refused with an error status, to rehearse failures.
    void refuse(const QString& kind) { m_refused.insert(kind); }
    // Every invoice gets a new edit sequence, as when another user changes them.
    void invoicesChangedElsewhere() { m_file.touchInvoices(); }

    // The answer document of one request document. A message set with a newMessageSetID has
    // its answer stored with its changes and is never carried out twice; an empty one with an
    // oldMessageSetID asks for, or forgets, a stored answer.
    QByteArray answer(const QByteArray& request);

private:
    // What one request's answer holds besides its status.
    struct Rets {
        QList<CompanyFile::Invoice> invoices;
        bool withLines = true;
        QList<CompanyFile::Customer> customers;
        QList<CompanyFile::OtherName> otherNames;
        QSet<QString> included; // the customer elements asked for; empty for all
        std::optional<QString> companyName;
    };
    using Handler = void (QbxmlHost::*)(const RequestTree::Node& rq, double version, Rets& rets);
    // The handler of each request kind ("InvoiceAdd"); a kind without one does not parse.
    static Handler handlerOf(const QString& kind);

    QByteArray carryOut(const QString& versionText, double version,
                        const RequestTree::Node& messages);
    void addInvoice(const RequestTree::Node& rq, double version, Rets& rets);
    void queryInvoices(const RequestTree::Node& rq, double version, Rets& rets);
    void modifyInvoice(const RequestTree::Node& rq, double version, Rets& rets);
    void queryCustomers(const RequestTree::Node& rq, double version, Rets& rets);
    void queryCompany(const RequestTree::Node& rq, double version, Rets& rets);
    void addOtherName(const RequestTree::Node& rq, double version, Rets& rets);
    void queryOtherNames(const RequestTree::Node& rq, double version, Rets& rets);
    void modifyOtherName(const RequestTree::Node& rq, double version, Rets& rets);

    CompanyFile& m_file;
    MessageSetStore m_messageSets;
    QSet<QString> m_refused;
};
