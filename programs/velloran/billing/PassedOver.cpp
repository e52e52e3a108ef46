#include "billing/PassedOver.h"

#include <QStringList>

void PassedOver::clear() {
    for (QList<QString>& entries : m_entries)
        entries.clear();
}

void PassedOver::add(Reason reason, const QString& name, const QVariant& value) {
    // The value in quotes, so that a trailing blank or a letter's case is seen.
    const QString text = value.isNull() ? QString() : value.toString();
    const QString shown = !text.isEmpty()           ? u'"' + text + u'"'
                          : reason == NoAnniversary ? QStringLiteral("missing")
                                                    : QStringLiteral("empty");
    m_entries[reason] << QStringLiteral("%1 (%2)").arg(name, shown);
}

bool PassedOver::isEmpty() const {
    return m_entries[UnknownFrequency].isEmpty() && m_entries[NoAnniversary].isEmpty();
}

QString PassedOver::heading(Reason reason) const {
    const qsizetype count = m_entries[reason].size();
    const QString contacts =
        count == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(count);
    return reason == UnknownFrequency
               ? contacts + QStringLiteral(" whose billing frequency is none of Monthly Invoice, "
                                           "Quarterly, Semi-Annual, Annual")
               : contacts + QStringLiteral(" billed quarterly, semi-annually or annually whose "
                                           "anniversary is missing or no date");
}

QString PassedOver::line(int names) const {
    // The count of every kind comes first, so that a line cut short still says it.
    QStringList parts;
    qsizetype total = 0;
    for (int reason = 0; reason < ReasonCount; ++reason) {
        const QList<QString>& entries = m_entries[reason];
        if (entries.isEmpty())
            continue;
        total += entries.size();
        QString part = QString::number(entries.size()) +
                       (reason == UnknownFrequency
                            ? QStringLiteral(" whose billing frequency is none of Monthly Invoice, "
                                             "Quarterly, Semi-Annual, Annual: ")
                            : QStringLiteral(" billed quarterly, semi-annually or annually whose "
                                             "anniversary is missing or no date: ")) +
                       QStringList(entries.mid(0, names)).join(QStringLiteral(", "));
        if (entries.size() > names)
            part += QStringLiteral(" and %1 more").arg(entries.size() - names);
        parts << part;
    }
    if (parts.isEmpty())
        return QString();
    return (total == 1 ? QStringLiteral("1 contact not listed: ")
                       : QStringLiteral("%1 contacts not listed: ").arg(total)) +
           parts.join(u"; ");
}

QString PassedOver::details() const {
    QStringList parts;
    for (int reason = 0; reason < ReasonCount; ++reason)
        if (!m_entries[reason].isEmpty())
            parts << heading(Reason(reason)) + QStringLiteral(":\n") +
                         QStringList(m_entries[reason]).join(u'\n');
    return parts.join(QStringLiteral("\n\n"));
}
