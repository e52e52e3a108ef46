#pragma once

// Ends the event loop on SIGINT and SIGTERM, between two events, so that what is in hand is
// finished first. False when the signals cannot be watched.
bool quitOnSignals();
