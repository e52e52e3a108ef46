#pragma once

#include <functional>

// SIGINT and SIGTERM handled between two events, as any other event: the handler runs in the
// event loop, so that what is in hand is finished first (the company-file host's request, the
// program's invoice in flight). False when the signals cannot be watched.
namespace TerminationSignals {

bool watch(std::function<void()> handler);

} // namespace TerminationSignals
