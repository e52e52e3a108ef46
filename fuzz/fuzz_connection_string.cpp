// Connection-string translation: any text is passed on, translated, or refused with a Failure.
#include "core/ConnectionString.h"
#include "core/Failure.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    try {
        const QString odbc = ConnectionString::toOdbc(text);
        // What is not an OLE DB string for SQL Server goes on unchanged.
        if (!ConnectionString::isSqlServerOleDb(text) && odbc != text)
            __builtin_trap();
    } catch (const Failure&) {
    }
    return 0;
}
