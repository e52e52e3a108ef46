#pragma once

#include <QStringList>

// The command lines of the project's tools: "--name value" options taken off an argument list.
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

} // namespace CommandLine
