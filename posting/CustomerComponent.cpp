#include "posting/CustomerComponent.h"

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

#include <QSet>

namespace {
// QuickBooks' answer to a query by name that names no object.
constexpr qint32 NotFound = 500;

QString keyOf(const QString& fullName) {
    return fullName.toCaseFolded();
}
} // namespace

CustomerComponent::CustomerComponent(RequestProcessor& processor)
    : m_processor(processor) {}

void CustomerComponent::LookupCustomer(const QString& fullName) {
    m_email.clear();
    const auto known = m_known.constFind(keyOf(fullName));
    if (known == m_known.constEnd()) {
        QbxmlRequest request(QStringLiteral("6.0"), QStringLiteral("CustomerQueryRq"));
        request.field(QStringLiteral("FullName"), fullName);
        const QbxmlAnswer answer =
            m_processor.processQuery(request.finish(), [](const QByteArray& document) {
                return QbxmlAnswer::read(document, QStringLiteral("CustomerQueryRs"));
            });
        m_email = answer.field(QStringLiteral("CustomerRet/Email"));
        return;
    }
    if (!known->found)
        throw Failure(NotFound,
                      QStringLiteral("There is no customer \"%1\" in QuickBooks.").arg(fullName));
    m_email = known->email;
}

std::optional<CustomerComponent::Known> CustomerComponent::lookUpOne(const QString& fullName) {
    try {
        LookupCustomer(fullName);
    } catch (const Failure& failure) {
        if (failure.number() == NotFound)
            return std::nullopt;
        throw;
    }
    return Known{true, m_email};
}

bool CustomerComponent::found(const QString& fullName) const {
    return m_known.value(keyOf(fullName)).found;
}

void CustomerComponent::lookUpAll(const QStringList& fullNames) {
    QStringList names;
    QSet<QString> seen;
    for (const QString& name : fullNames)
        if (!m_known.contains(keyOf(name)) && !seen.contains(keyOf(name))) {
            seen.insert(keyOf(name));
            names << name;
        }
    for (int first = 0; first < names.size(); first += BatchSize) {
        const QStringList batch = names.mid(first, BatchSize);
        QbxmlRequest request(QStringLiteral("6.0"), QStringLiteral("CustomerQueryRq"));
        for (const QString& name : batch)
            request.field(QStringLiteral("FullName"), name);
        request.field(QStringLiteral("IncludeRetElement"), QStringLiteral("FullName"));
        request.field(QStringLiteral("IncludeRetElement"), QStringLiteral("Email"));
        // A name QuickBooks does not know is a warning (500) that names it, with the others.
        const QbxmlAnswer answer =
            m_processor.processQuery(request.finish(), [](const QByteArray& document) {
                return QbxmlAnswer::read(document, QStringLiteral("CustomerQueryRs"), true);
            });
        QHash<QString, Known> found;
        for (const QbxmlAnswer::Record& record : answer.records)
            found.insert(keyOf(record.value(QStringLiteral("CustomerRet/FullName"))),
                         Known{true, record.value(QStringLiteral("CustomerRet/Email"))});
        for (const QString& name : batch) {
            const QString key = keyOf(name);
            if (found.contains(key))
                m_known.insert(key, found.value(key));
            else if (answer.statusCode == 0 || !answer.records.isEmpty())
                m_known.insert(key, Known{});
            else // an answer that names nobody found: each is asked alone
                m_known.insert(key, lookUpOne(name).value_or(Known{}));
        }
    }
    m_email.clear();
}
