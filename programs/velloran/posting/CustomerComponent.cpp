#include "posting/CustomerComponent.h"

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"

#include <QSet>

namespace {
QString keyOf(const QString& fullName) {
    return fullName.toCaseFolded();
}
} // namespace

void CustomerComponent::LookupCustomer(const QString& fullName) {
    m_email.clear();
    const auto known = m_known.constFind(keyOf(fullName));
    if (known == m_known.constEnd())
        throw Failure(
            QbError::BadAnswer,
            QStringLiteral("QuickBooks was not asked about the customer \"%1\".").arg(fullName));
    if (!known->found)
        throw Failure(QbStatus::NotFound,
                      QStringLiteral("There is no customer \"%1\" in QuickBooks.").arg(fullName));
    m_email = known->email;
}

bool CustomerComponent::found(const QString& fullName) const {
    return m_known.value(keyOf(fullName)).found;
}

std::optional<QByteArray> CustomerComponent::nextLookUp(const QStringList& fullNames) {
    m_email.clear();
    m_asking.clear();
    m_askingAlone = !m_alone.isEmpty();
    if (m_askingAlone) {
        m_asking << m_alone.takeFirst();
    } else {
        QSet<QString> seen;
        for (const QString& name : fullNames)
            if (m_asking.size() < BatchSize && !m_known.contains(keyOf(name)) &&
                !seen.contains(keyOf(name))) {
                seen.insert(keyOf(name));
                m_asking << name;
            }
    }
    if (m_asking.isEmpty())
        return std::nullopt;
    QbxmlRequest request(QStringLiteral("6.0"), QStringLiteral("CustomerQueryRq"));
    for (const QString& name : std::as_const(m_asking))
        request.field(QStringLiteral("FullName"), name);
    if (!m_askingAlone) {
        request.field(QStringLiteral("IncludeRetElement"), QStringLiteral("FullName"));
        request.field(QStringLiteral("IncludeRetElement"), QStringLiteral("Email"));
    }
    return request.finish();
}

void CustomerComponent::takeLookUp(const QByteArray& document) {
    if (m_askingAlone) {
        const QString key = keyOf(m_asking.value(0));
        try {
            const QbxmlAnswer answer =
                QbxmlAnswer::read(document, QStringLiteral("CustomerQueryRs"));
            m_known.insert(key, Known{true, answer.field(QStringLiteral("CustomerRet/Email"))});
        } catch (const Failure& failure) {
            if (failure.number() != QbStatus::NotFound)
                throw;
            m_known.insert(key, Known{});
        }
        return;
    }
    // A name QuickBooks does not know is a warning (500) that names it, with the others.
    const QbxmlAnswer answer = QbxmlAnswer::read(document, QStringLiteral("CustomerQueryRs"), true);
    QHash<QString, Known> found;
    for (const QbxmlAnswer::Record& record : answer.records)
        found.insert(keyOf(record.value(QStringLiteral("CustomerRet/FullName"))),
                     Known{true, record.value(QStringLiteral("CustomerRet/Email"))});
    for (const QString& name : std::as_const(m_asking)) {
        const QString key = keyOf(name);
        if (found.contains(key))
            m_known.insert(key, found.value(key));
        else if (answer.statusCode == 0 || !answer.records.isEmpty())
            m_known.insert(key, Known{});
        else // an answer that names nobody found: each is asked alone
            m_alone << name;
    }
}
