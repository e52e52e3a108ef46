#include "core/MoneyFormat.h"

#include "core/FixedForms.h"
#include "core/Money.h"

QString MoneyFormat::display(const QString& text) {
    const auto number = FixedForms::readNumber(text);
    if (!number)
        return text;
    const auto hundredths = Money::toHundredths(*number);
    return hundredths ? display(*hundredths) : text;
}

QString MoneyFormat::display(qint64 hundredths) {
    QString plain = Money::hundredthsFixedText(hundredths);
    const bool negative = plain.startsWith(u'-');
    if (negative)
        plain.remove(0, 1);
    QString whole = plain.left(plain.size() - 3);
    for (int i = whole.size() - 3; i > 0; i -= 3)
        whole.insert(i, u',');
    return (negative ? QStringLiteral("-$") : QStringLiteral("$")) + whole + plain.right(3);
}
