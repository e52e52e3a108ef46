#pragma once

#include <QByteArray>
#include <QString>

// The .qwc file that adds the bridge to the QuickBooks Web Connector. It never holds the
// password: the Web Connector asks for it once.
namespace QwcFile {

struct Settings {
    QString url; // https://billing.example.org:8443/qbwc, or http://localhost:PORT/qbwc
    QString user;
    QString appName = QStringLiteral("Velloran");
    int everySeconds = 0; // 0: no schedule, the clerk presses Update Selected
};

// What the Web Connector would refuse about url (an IP address, plain HTTP away from
// localhost); empty when it takes it.
QString problemWith(const QString& url);

// A new file: the same OwnerID always, a new FileID each time.
QByteArray write(const Settings& settings);

} // namespace QwcFile
