#include "core/CheckCell.h"

#include "core/FixedForms.h"

QString CheckCell::text(bool checked) {
    return checked ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> CheckCell::read(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = FixedForms::readNumber(t))
        return *number != 0.0;
    return std::nullopt;
}
