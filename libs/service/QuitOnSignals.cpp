#include "service/QuitOnSignals.h"

#include "core/TerminationSignals.h"

#include <QCoreApplication>

bool quitOnSignals() {
    return TerminationSignals::watch([] { QCoreApplication::quit(); });
}
