#pragma once

#include <QString>

// The statement that lists one organisation's members of one billing method, and the names
// of the fields that the list filling reads from each of its records.
namespace BillingQuery {

struct FieldSet {
    QString company;
    QString contact;
    QString frequency;
    QString yearlyAmount;
    QString anniversary;
};

// The chamber's fields for exactly the chamber's name, the foundation's for any other
// organisation text (Organisations::of).
const FieldSet& fieldSetFor(const QString& organisation);

// A single quote in the billing method is doubled, so that no text can end the quoted value.
QString statement(const QString& organisation, const QString& billingMethod);

} // namespace BillingQuery
