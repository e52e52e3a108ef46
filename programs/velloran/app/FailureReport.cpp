#include "app/FailureReport.h"

#include "app/MessageBoxes.h"

#include <QDebug>
#include <cstdio>
#include <cstdlib>

namespace {
FailureReport::Terminator& terminator() {
    static FailureReport::Terminator t;
    return t;
}
} // namespace

void FailureReport::report(const Failure& failure) {
    qCritical().noquote() << "Run-time error" << failure.number() << failure.description();
    MessageBoxes::show(QStringLiteral("Run-time error '%1':\n\n%2")
                           .arg(failure.number())
                           .arg(failure.description()),
                       QStringLiteral("Velloran"), MessageBoxes::OkOnly);
    if (terminator()) {
        terminator()(ExitStatus);
        return;
    }
    // The failure may have struck in the middle of anything; end without running destructors
    // over a half-done state. The report has been shown and nothing else is to be kept.
    std::fflush(nullptr);
    std::_Exit(ExitStatus);
}

int FailureReport::guard(const std::function<int()>& work) {
    try {
        return work();
    } catch (const Failure& failure) {
        report(failure);
    } catch (const std::exception& other) {
        report(Failure(ErrorNumber::Unspecified, QString::fromLocal8Bit(other.what())));
    }
    return ExitStatus;
}

void FailureReport::setTerminator(Terminator t) {
    terminator() = std::move(t);
}
