#pragma once

#include <QString>
#include <exception>

class QSqlError;

// Error numbers that users of the earlier desktop version know by heart.
namespace ErrorNumber {
constexpr qint32 Overflow = 6;
constexpr qint32 TypeMismatch = 13;
constexpr qint32 FileNotFound = 53;
constexpr qint32 InputPastEndOfFile = 62;
constexpr qint32 PermissionDenied = 70;
// A field the statement does not return.
constexpr qint32 ItemNotFound = 3265;
// The database layer's "unspecified error" (0x80004005), used when a driver gives no number.
constexpr qint32 Unspecified = -2147467259;
} // namespace ErrorNumber

// The one failure type of the program: a number and a description. Everything that can go
// wrong travels as a Failure to the one place that reports it (or, in an invoice run, into
// the row being posted).
class Failure : public std::exception {
public:
    Failure(qint32 number, QString description);

    qint32 number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

    // With a detail, the description says which value is at fault: "Type mismatch: the
    // billing anniversary is empty".
    static Failure overflow(const QString& detail = QString());
    static Failure typeMismatch(const QString& detail = QString());
    static Failure fileNotFound(const QString& path);
    static Failure inputPastEndOfFile();
    // The driver's native error number where it has one, and its message.
    static Failure fromSqlError(const QSqlError& error);

private:
    qint32 m_number;
    QString m_description;
    QByteArray m_what;
};
