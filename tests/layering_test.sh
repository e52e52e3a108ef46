#!/usr/bin/env bash
# The layering is the build's: a library sees only the folders of the libraries it links.
# Compiles probes with a library's own include path: what it may include compiles, and a
# folder above it is not there at all.
#   tests/layering_test.sh COMPILER -- ALLOWED-HEADER FORBIDDEN-HEADER... -- INCLUDE-FLAGS...
set -uo pipefail
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
