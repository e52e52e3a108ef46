#include "service/Log.h"

#include <cstdio>
#include <cstdlib>

void Log::write(const char* program, Level level, const QString& text) {
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    if (journal)
        std::fprintf(stderr, "<%d>%s\n", int(level), qPrintable(text));
    else
        std::fprintf(stderr, "%s: %s\n", program, qPrintable(text));
    std::fflush(stderr);
}
