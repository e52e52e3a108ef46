// The company-file host's reader of requests: any document gets an answer, never a crash.
#include "qbhost/CompanyFile.h"
#include "qbhost/QbxmlHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <memory>
#include <unistd.h>

namespace {
QbxmlHost* host = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    // A company file in memory-backed storage keeps the host's commits cheap.
    const QString dir = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString path = QStringLiteral("%1/fuzz-company-%2.qbw").arg(dir).arg(getpid());
    QFile::remove(path);
    CompanyFile::create(path);
    static CompanyFile file(path);
    file.addCustomer(QStringLiteral("Abbott & Sons Hardware"), QStringLiteral("a@b.example"));
    file.addItem(QStringLiteral("Membership Dues"));
    static QbxmlHost qbxml(file);
    host = &qbxml;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (host->answer(QByteArray(reinterpret_cast<const char*>(data), int(size))).isEmpty())
        __builtin_trap();
    return 0;
}
