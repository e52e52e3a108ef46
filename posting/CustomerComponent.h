#pragma once

#include <QString>

class RequestProcessor;

// The customer component: looks a customer up by full name in the open company file. The
// result text is the customer's e-mail address, empty when the record has none.
class CustomerComponent {
public:
    explicit CustomerComponent(RequestProcessor& processor);
    virtual ~CustomerComponent() = default;

    // Throws Failure when the lookup fails (the customer is not in the company file among
    // other reasons); the record of the last good lookup is dropped first.
    virtual void LookupCustomer(const QString& fullName);
    QString LookupResultText() const { return m_email; }

private:
    RequestProcessor& m_processor;
    QString m_email;
};
