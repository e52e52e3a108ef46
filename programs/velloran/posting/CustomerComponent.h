#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// The customer component: looks customers up by full name in the open company file, many in
// one request, and keeps what QuickBooks answered until forgetLookUps: found with its e-mail
// address, or not found. It sends nothing itself: the caller sends each request and hands its
// answer back.
class CustomerComponent {
public:
    CustomerComponent() = default;
    virtual ~CustomerComponent() = default;

    // Loads the record of a customer looked up before; throws Failure when QuickBooks does not
    // know it (500), or it was never asked for. The record of the last look-up is dropped
    // first. The result text is the customer's e-mail address, empty when it has none.
    virtual void LookupCustomer(const QString& fullName);
    QString LookupResultText() const { return m_email; }

    // The next request the names need, in requests of at most BatchSize names (none once every
    // name is known), then that request's answer, which throws Failure when QuickBooks refuses
    // otherwise than by not finding a name.
    std::optional<QByteArray> nextLookUp(const QStringList& fullNames);
    void takeLookUp(const QByteArray& answer);
    void forgetLookUps() {
        m_known.clear();
        m_alone.clear();
    }
    // True for a customer the look-ups found.
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

    QString m_email;
    QHash<QString, Known> m_known; // by name, as QuickBooks compares names: any letter case
};
