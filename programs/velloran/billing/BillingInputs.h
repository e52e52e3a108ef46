#pragma once

#include <QDate>
#include <QString>

// The choices that a fill of the billing list reads while it runs: the main window's
// organisation and billing-method lists and its two dates.
class BillingInputs {
public:
    virtual ~BillingInputs() = default;
    virtual QString organisation() const = 0;
    virtual QString billingMethod() const = 0;
    virtual QDate startDate() const = 0;
    virtual QDate endDate() const = 0;
};
