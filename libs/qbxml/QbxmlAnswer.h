#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// Failure numbers of the request processor, written as signed 32-bit decimals.
namespace QbError {
constexpr qint32 ParseError = -2147220480;    // 0x80040400
constexpr qint32 CouldNotStart = -2147220472; // 0x80040408
// The channel's own: a connection lost before the answer, no answer in time, an answer that
// cannot be read.
constexpr qint32 ConnectionLost = -2147220447; // 0x80040421
// No answer in time: a number of its own, as QuickBooks uses 0x80040422 for a company file
// open single-user elsewhere.
constexpr qint32 NoAnswer = -2147217630;  // 0x80040F22
constexpr qint32 BadAnswer = -2147220445; // 0x80040423
// QuickBooks has another company open than the one a lost answer is awaited from.
constexpr qint32 OtherCompanyOpen = -2147220443; // 0x80040425
// Another billing run holds the company file's lease, or took it over from a run that was
// paused past its expiry.
constexpr qint32 RunInProgress = -2147220442; // 0x80040426
constexpr qint32 RunTakenOver = -2147220441;  // 0x80040427

// True for the failures after which nobody knows whether QuickBooks carried the request out.
inline bool answerLost(qint32 number) {
    return number == ConnectionLost || number == NoAnswer || number == BadAnswer;
}
} // namespace QbError

// Status codes of QuickBooks' answers to single requests that the program tells apart.
namespace QbStatus {
constexpr qint32 NotFound = 500;               // a query named an object that does not exist
constexpr qint32 NameInUse = 3100;             // an add of a name the list holds already
constexpr qint32 ObjectNotFound = 3120;        // a change of an object that does not exist
constexpr qint32 EditSequenceOutOfDate = 3200; // a change of an object changed since it was read
constexpr qint32 BadDate = 3020;               // a date field QuickBooks cannot read
constexpr qint32 TooLong = 3070;               // a text longer than its field
constexpr qint32 InvalidReference = 3140;      // a reference to a name the file lacks
constexpr qint32 SaveError = 3170;             // the change could not be saved
} // namespace QbStatus

// Message-set status codes: what QuickBooks says of a message set as a whole.
namespace MessageSetStatus {
constexpr qint32 Unknown = 600;        // the old ID matches nothing stored
constexpr qint32 OtherContent = 9001;  // the ID was used for other requests
constexpr qint32 NothingStored = 9002; // no stored answer was found
constexpr qint32 IdTooLong = 9004;     // more than 24 characters
constexpr qint32 NotStored = 9005;     // the answer could not be stored
constexpr int MaxIdLength = 24;
QString describe(qint32 code);
} // namespace MessageSetStatus

// The one answer of a qbXML response document: its status and the fields of its records
// (InvoiceRet, CustomerRet), keyed by path ("InvoiceRet/TxnID"). A repeated element gets its
// position after the first ("InvoiceRet/InvoiceLineRet#2/Amount").
struct QbxmlAnswer {
    using Record = QHash<QString, QString>;

    QString responseName;
    QString requestId;
    qint32 statusCode = 0;
    QString statusSeverity;
    QString statusMessage;
    QList<Record> records;

    // The first record's field.
    QString field(const QString& path) const { return records.value(0).value(path); }

    // Reads the answer named responseName ("InvoiceAddRs"). Throws Failure for a processor
    // error, an answer that cannot be read, a message set that was not carried out, or a
    // status other than 0, except a warning that comes with records, and any warning (no
    // records found) where acceptWarnings is set.
    static QbxmlAnswer read(const QByteArray& document, const QString& responseName,
                            bool acceptWarnings = false);

    // Every answer of a message set that held several requests, in the order QuickBooks
    // wrote them (a request after a refusal under stopOnError has none). Throws Failure for a
    // processor error, an answer that cannot be read, or a message set not carried out; each
    // answer's own status is for check.
    static QList<QbxmlAnswer> readAll(const QByteArray& document);
    // Throws Failure for a status that read refuses: other than 0, except a warning with
    // records, or any warning where acceptWarnings is set.
    void check(bool acceptWarnings = false) const;

    // The message set's own status code (0 where the answer carries none). Throws Failure
    // for a processor error or an answer that cannot be read.
    static qint32 messageSetStatus(const QByteArray& document);
};
