#!/usr/bin/env bash
# The layering is the build's: a library sees only the folders of the libraries it links.
# Compiles probes with a library's own include path: what it may include compiles, and a
# folder above it is not there at all.
#   tests/layering_test.sh COMPILER -- ALLOWED-HEADER FORBIDDEN-HEADER... -- INCLUDE-FLAGS...
# A relative include ("../ui/Twips.h") is found from the including file's own folder and so
# passes by every include path; the second form refuses any in the sources:
#   tests/layering_test.sh --relative SOURCE-DIR
set -uo pipefail

# An include whose path climbs out of a folder, in the C++ sources and headers under ROOT, with
# lines continued by a backslash read as one. A folder holding a CMakeCache.txt is a build
# folder, whatever its name, and is not read (its generated sources include by such paths).
relative_includes() {
    local root=$1
    local prune=(-name .git)
    while IFS= read -r build; do
        prune+=(-o -path "$build")
    done < <(find "$root" -name CMakeCache.txt -printf '%h\n')
    find "$root" \( "${prune[@]}" \) -prune -o -type f \( -name '*.h' -o -name '*.cpp' \) \
        -print0 | xargs -0 -r awk '
        FNR == 1 { held = ""; start = 0 }
        /\\$/ { if (!start) start = FNR; held = held substr($0, 1, length($0) - 1); next }
        {
            text = held $0; at = start ? start : FNR; held = ""; start = 0
            if (text ~ /^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*\/)?\.\.\//)
                print FILENAME ":" at ": " text
        }'
}
if [ "$1" = "--relative" ]; then
    # The search itself must find each kind, or finding none proves nothing: a plain one, one
    # continued on the next line, and one in a folder whose name only looks like a build's.
    probe_dir=$(mktemp -d)
    trap 'rm -rf "$probe_dir"' EXIT
    mkdir -p "$probe_dir/buildings" "$probe_dir/build"
    printf '#include "../ui/Twips.h"\n' > "$probe_dir/plain.cpp"
    printf '#include \\\n    "../ui/Twips.h"\n' > "$probe_dir/continued.h"
    printf '#include "../ui/Twips.h"\n' > "$probe_dir/buildings/named.cpp"
    printf '#include "../ui/Twips.h"\n' > "$probe_dir/build/generated.cpp"
    touch "$probe_dir/build/CMakeCache.txt"
    if [ "$(relative_includes "$probe_dir" | wc -l)" -ne 3 ]; then
        relative_includes "$probe_dir"
        echo "the search for relative includes did not find exactly the probe's three"
        exit 1
    fi
    found=$(relative_includes "$2")
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
