#!/usr/bin/env bash
# The layering is the build's: a library sees only the folders of the libraries it links.
# Compiles probes with a library's own include path: what it may include compiles, and a
# folder above it is not there at all.
#   tests/layering_test.sh COMPILER -- ALLOWED-HEADER FORBIDDEN-HEADER... -- INCLUDE-FLAGS...
# A relative include ("../ui/Twips.h") is found from the including file's own folder and so
# passes by every include path; the second form refuses any in the sources:
#   tests/layering_test.sh --relative SOURCE-DIR
set -uo pipefail

# An include whose path climbs out of a folder, in a C++ source or header.
relative_includes() {
    grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*/)?\.\./' "$@"
}
if [ "$1" = "--relative" ]; then
    # The search itself must find one, or finding none proves nothing.
    probe_dir=$(mktemp -d)
    trap 'rm -rf "$probe_dir"' EXIT
    printf '#include "../ui/Twips.h"\n' > "$probe_dir/probe.cpp"
    if ! relative_includes "$probe_dir" > /dev/null; then
        echo "the search for relative includes found none in a probe that has one"
        exit 1
    fi
    found=$(relative_includes --exclude-dir='build*' --exclude-dir=.git "$2")
    if [ -n "$found" ]; then
        printf '%s\n' "$found"
        echo "layering: $(printf '%s\n' "$found" | wc -l) relative include(s); include as folder/Header.h"
        exit 1
    fi
    echo "layering: no relative include"
    exit 0
fi
compiler=$1
shift 2
allowed=$1
shift
forbidden=()
while [ "$1" != "--" ]; do
    forbidden+=("$1")
    shift
done
shift
probe=$(mktemp --suffix=.cpp)
trap 'rm -f "$probe"' EXIT
faults=0
printf '#include "%s"\n' "$allowed" > "$probe"
if ! "$compiler" -std=c++17 -fsyntax-only -fPIC "$@" "$probe"; then
    echo "a header the library may include does not compile: $allowed"
    faults=$((faults + 1))
fi
for header in "${forbidden[@]}"; do
    printf '#include "%s"\n' "$header" > "$probe"
    if "$compiler" -std=c++17 -fsyntax-only -fPIC "$@" "$probe" 2>/dev/null; then
        echo "reaches a folder it does not link: $header"
        faults=$((faults + 1))
    fi
done
echo "layering: $faults fault(s)"
[ "$faults" -eq 0 ]
