#pragma once

#include "core/Failure.h"

#include <functional>

// The one place where an untrapped failure ends up: a message box captioned "Velloran" with
// "Run-time error 'N':", a blank line and the description, then the end of the process.
namespace FailureReport {

constexpr int ExitStatus = 1;

void report(const Failure& failure);

// Runs work and reports any failure that escapes it; returns work's result, or ExitStatus.
int guard(const std::function<int()>& work);

// Wraps an event handler so that a failure in it is reported before it can unwind through the
// toolkit's event delivery: connect(button, &QPushButton::clicked, this, reporting([this] {...})).
template <typename Handler> auto reporting(Handler handler) {
    return [handler](auto&&...) {
        guard([&] {
            handler();
            return 0;
        });
    };
}

// How the process ends after the report; tests replace it.
using Terminator = std::function<void(int status)>;
void setTerminator(Terminator terminator);

} // namespace FailureReport
