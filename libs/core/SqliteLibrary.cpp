#include "core/SqliteLibrary.h"

#include <sqlite3.h>

bool SqliteLibrary::settleBeforeFirstUse() {
    static const bool settled = [] {
        // sqlite3_config refuses (SQLITE_MISUSE) once the library has started, changing nothing.
        const bool threads = sqlite3_config(SQLITE_CONFIG_MULTITHREAD) == SQLITE_OK;
        const bool memory = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
        return threads && memory;
    }();
    return settled;
}
