#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

class CompanyFile;

// Answers qbXML requests against a company file the way QuickBooks does: element order and
// request version checked, references, dates and edit sequences checked, each change stored
// before its answer is written.
class QbxmlHost {
public:
    explicit QbxmlHost(CompanyFile& file);

    // Request kinds ("InvoiceMod") that are refused with an error status, to rehearse failures.
    void refuse(const QString& kind) { m_refused.insert(kind); }

    QByteArray answer(const QByteArray& request);

private:
    CompanyFile& m_file;
    QSet<QString> m_refused;
};
