#include "billing/Organisation.h"

const QString& Organisations::name(Organisation organisation) {
    static const QString chamber = QStringLiteral("Kestlemere Chamber of Commerce");
    static const QString foundation = QStringLiteral("Viderizo Ruzerevurar Arovezeruv");
    return organisation == Organisation::Chamber ? chamber : foundation;
}

Organisation Organisations::of(const QString& text) {
    return text == name(Organisation::Chamber) ? Organisation::Chamber : Organisation::Foundation;
}
