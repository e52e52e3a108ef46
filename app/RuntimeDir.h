#pragma once

#include <QString>

// The user's own folder for sockets and locks: XDG_RUNTIME_DIR, or a folder of the user's
// under the temporary folder when the session has none. Created on first use, closed to others.
namespace RuntimeDir {

QString path();

} // namespace RuntimeDir
