#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

// What `qbbridge serve` and `qbbridge check` are told: from a settings file, one
// "key = value" a line with "#" comments, and from the command line's options, which win. The
// keys are the options' names: listen, user, password-file, cert, key, public-url, socket, wait,
// every.
struct BridgeSettings {
    QString listen;
    QString user;
    QString passwordFile;
    QString cert;
    QString key;
    QString publicUrl;
    QString socket;
    // How long a request waits for the Web Connector's call, as given (0: not given).
    int waitSeconds = 0;
    // The Web Connector's schedule: it calls every this many seconds (0: only when the clerk
    // presses Update Selected). The .qwc file's Scheduler and serve's wait both follow it.
    int everySeconds = 0;

    // The wait serve uses: as given, or else a whole period of the schedule and 30 seconds
    // more, so that a run started just after a call still meets the next; 30 seconds without
    // a schedule.
    int waitFor() const;

    // Reads the settings file at path over these settings; false, with "path:LINE: reason" in
    // errorString() and nothing changed, for an unknown key or a bad value. A relative path in
    // it is taken from the file's folder, and "~/" from the home folder.
    bool load(const QString& path);
    // Reads the file's text, as the file is read; fileName stands for it in the reasons.
    bool load(const QByteArray& text, const QString& fileName, const QString& folder);
    // $XDG_CONFIG_HOME/velloran/qbbridge.conf, or ~/.config/velloran/qbbridge.conf.
    static QString defaultPath();

    // Takes the command line's options off args over these settings; false, with the reason in
    // errorString(), for a bad value.
    bool takeOptions(QStringList& args);

    // The listening address and port, from listen ("127.0.0.1:8080", "[::1]:8443",
    // "localhost:8080"); nullopt for another form.
    struct Endpoint {
        QHostAddress address;
        quint16 port = 0;
        QString host; // as written, without brackets
    };
    static std::optional<Endpoint> endpointOf(const QString& listen);

    // False when serve cannot start with these settings, judged before any file they name is
    // read: a missing listen, user or password file, a certificate without its key, plain HTTP
    // off loopback, a wait shorter than the schedule's period and 10 seconds. errors() then
    // holds every reason, in order, and errorString() them one a line.
    bool check();
    QStringList errors() const { return m_errors; }

    // Why the last load, takeOptions or check failed.
    QString errorString() const { return m_errors.join(u'\n'); }

private:
    bool fail(const QString& reason);

    QStringList m_errors;
};
