#include "core/Failure.h"

#include <QSqlError>

Failure::Failure(qint32 number, QString description)
    : m_number(number)
    , m_description(std::move(description))
    , m_what(QStringLiteral("%1: %2").arg(m_number).arg(m_description).toUtf8()) {}

namespace {
QString withDetail(const QString& text, const QString& detail) {
    return detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
}
} // namespace

Failure Failure::overflow(const QString& detail) {
    return Failure(ErrorNumber::Overflow, withDetail(QStringLiteral("Overflow"), detail));
}

Failure Failure::typeMismatch(const QString& detail) {
    return Failure(ErrorNumber::TypeMismatch, withDetail(QStringLiteral("Type mismatch"), detail));
}

Failure Failure::fileNotFound(const QString& path) {
    return Failure(ErrorNumber::FileNotFound, QStringLiteral("File not found: %1").arg(path));
}

Failure Failure::inputPastEndOfFile() {
    return Failure(ErrorNumber::InputPastEndOfFile, QStringLiteral("Input past end of file"));
}

Failure Failure::fromSqlError(const QSqlError& error) {
    bool numeric = false;
    const qint32 native = error.nativeErrorCode().trimmed().toInt(&numeric);
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("The database reported an error without a description.");
    return Failure(numeric && native != 0 ? native : ErrorNumber::Unspecified, text);
}
