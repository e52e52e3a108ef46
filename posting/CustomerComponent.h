#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

class RequestProcessor;

// The customer component: looks a customer up by full name in the open company file. The
// result text is the customer's e-mail address, empty when the record has none.
class CustomerComponent {
public:
    explicit CustomerComponent(RequestProcessor& processor);
    virtual ~CustomerComponent() = default;

    // Throws Failure when the lookup fails (the customer is not in the company file among
    // other reasons); the record of the last good lookup is dropped first. A customer that
    // lookUpAll asked for is answered from what it found, without a request.
    virtual void LookupCustomer(const QString& fullName);
    QString LookupResultText() const { return m_email; }

    // Looks many customers up at once, in requests of at most BatchSize names, and keeps what
    // QuickBooks answered until forgetLookUps: found with its e-mail address, or not found.
    // Throws Failure when a request fails, or QuickBooks refuses one otherwise than by not
    // finding a name.
    void lookUpAll(const QStringList& fullNames);
    // lookUpAll step by step, for a caller that does not wait: the next request it needs (none
    // once every name is known), then that request's answer, which throws as lookUpAll does.
    std::optional<QByteArray> nextLookUp(const QStringList& fullNames);
    void takeLookUp(const QByteArray& answer);
    void forgetLookUps() {
        m_known.clear();
        m_alone.clear();
    }
    // True for a customer lookUpAll found.
    bool found(const QString& fullName) const;
    static constexpr int BatchSize = 100;

private:
    struct Known {
        bool found = false;
        QString email;
    };
    // The names the request in hand asks for, and whether it asks for one alone: those of an
    // answer that names nobody found are each asked alone.
    QStringList m_asking;
    bool m_askingAlone = false;
    QStringList m_alone;

    // Not owned: the channel the caller shares between the components, which must outlive them.
    RequestProcessor& m_processor;
    QString m_email;
    QHash<QString, Known> m_known; // by name, as QuickBooks compares names: any letter case
};
