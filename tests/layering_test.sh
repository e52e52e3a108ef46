#!/usr/bin/env bash
# The folders' layering: each folder includes only the folders below it (README,
# "Architecture"). Prints every include that reaches sideways or up, and fails on any.
#   tests/layering_test.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
declare -A below=(
    [core]=""
    [app]="core"
    [grid]="core"
    [billing]="core"
    [posting]="core billing"
    [ui]="core app grid billing posting"
    [tools/make_contacts]=""
    [tools/common]="core posting"
    [tools/qbwc]="core"
    [tools/qbhost]="core posting tools/common tools/qbwc"
    [tools/qbbridge]="core posting tools/common tools/qbwc"
)
faults=0
for folder in "${!below[@]}"; do
    [ -d "$folder" ] || { echo "missing folder: $folder"; faults=$((faults + 1)); continue; }
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^#include "((tools\/)?[a-z_]+)\/.*/\1/' <<< "$text")
        [ "$target" = "$folder" ] && continue
        case " ${below[$folder]} " in
        *" $target "*) ;;
        *)
            echo "$file:$line: $folder may not include $target: $text"
            faults=$((faults + 1))
            ;;
        esac
    done < <(grep -nE '^#include "(tools/)?[a-z_]+/' -r "$folder" --include='*.h' --include='*.cpp')
done
# A folder the table does not name would escape the check.
for folder in */ tools/*/; do
    folder=${folder%/}
    case "$folder" in bench | build* | docs | fuzz | packaging | scripts | tests | tools) continue ;; esac
    [ -n "${below[$folder]+set}" ] || { echo "folder not in the layering: $folder"; faults=$((faults + 1)); }
done
echo "layering: $faults include(s) out of place"
[ "$faults" -eq 0 ]
