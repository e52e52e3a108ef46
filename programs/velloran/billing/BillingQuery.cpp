#include "billing/BillingQuery.h"

#include "billing/Organisation.h"

namespace {
bool isChamber(const QString& organisation) {
    return Organisations::of(organisation) == Organisation::Chamber;
}
} // namespace

const BillingQuery::FieldSet& BillingQuery::fieldSetFor(const QString& organisation) {
    static const FieldSet chamber{
        QStringLiteral("CONTACT Company"),
        QStringLiteral("CONTACT Contact"),
        QStringLiteral("CUSTOM TABLE 0 M-Billing Frequency"),
        QStringLiteral("CONTACT M-Annual Dues"),
        QStringLiteral("CONTACT M-Billing Anniv-"),
    };
    static const FieldSet foundation{
        QStringLiteral("CONTACT Company"),
        QStringLiteral("CONTACT Contact"),
        QStringLiteral("CUSTOM TABLE 0 EDF Billing Freq"),
        QStringLiteral("CUSTOM TABLE 0 EDF Pledge Amt"),
        QStringLiteral("CUSTOM TABLE 0 EDF Anniv Date"),
    };
    return isChamber(organisation) ? chamber : foundation;
}

QString BillingQuery::statement(const QString& organisation, const QString& billingMethod) {
    static const QString selectList = QStringLiteral(
        "SELECT [VRP_CONTACT].[CONTACT Contact],[VRP_CONTACT].[CONTACT Company],"
        "[VRP_CONTACT].[CONTACT M-Annual Dues],[VRP_CONTACT].[CONTACT M-Annual Rate],"
        "[VRP_CONTACT].[CONTACT M-Billing Anniv-],"
        "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 M-Billing Frequency],"
        "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 M-Billing Method],"
        "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Anniv Date],"
        "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Billing Freq],"
        "[VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Pledge Amt]");
    static const QString source = QStringLiteral(
        " From [VRP_CONTACT] LEFT JOIN [VRP_CUSTOM_TABLE_0] ON "
        "[VRP_CONTACT].[CONTACT ContactID] = [VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 CONTACTID] ");
    static const QString chamberFilter =
        QStringLiteral(" WHERE ([VRP_CONTACT].[CONTACT M-Annual Dues] IS NOT NULL) AND "
                       "([VRP_CONTACT].[CONTACT M-Annual Dues] > 0) AND "
                       "([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 M-Billing Method] = '");
    static const QString foundationFilter = QStringLiteral(
        " WHERE ([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Pledge Amt] IS NOT NULL) AND "
        "([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Pledge Amt] > 0)  AND "
        "([VRP_CUSTOM_TABLE_0].[CUSTOM TABLE 0 EDF Billing Method] = '");
    static const QString order =
        QStringLiteral(" ORDER BY [VRP_CONTACT].[CONTACT Company],[VRP_CONTACT].[CONTACT Contact]");

    return selectList + source + (isChamber(organisation) ? chamberFilter : foundationFilter) +
           QString(billingMethod).replace(QStringLiteral("'"), QStringLiteral("''")) +
           QStringLiteral("')") + order;
}
