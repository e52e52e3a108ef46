#pragma once

#include <QStringList>
#include <cstdio>

// The command lines of the host and the bridge: "--name value" options taken off an argument list.
namespace CommandLine {

// The value after name, both taken off args; empty when name is not there.
inline QString takeOption(QStringList& args, const QString& name) {
    const int at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return QString();
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

// Tells the failure on standard error as "program: message"; returns the exit status 1.
inline int fail(const char* program, const QString& message) {
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(message));
    return 1;
}

} // namespace CommandLine
