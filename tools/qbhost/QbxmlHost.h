#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include "tools/qbhost/CompanyFile.h"

// Answers qbXML requests against a company file the way QuickBooks does: element order and
// request version checked, references, dates and edit sequences checked, each change stored
// before its answer is written.
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

    struct Node;

private:
    QByteArray carryOut(const QString& versionText, double version, const Node& messages,
                        const QString& messageSetId);
    QList<CompanyFile::Invoice> queryInvoices(const Node& rq, double version, bool& withLines);
    CompanyFile::Invoice modifyInvoice(const Node& rq, double version);
    void queryCustomers(const Node& rq, double version, QSet<QString>& included,
                        QList<CompanyFile::Customer>& found);

    CompanyFile& m_file;
    QSet<QString> m_refused;
};
