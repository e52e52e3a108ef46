#!/usr/bin/env bash
# Every target gets the project's warnings because a target made any other way stops the
# configuration. Configures two small projects with the project's own function: one whose
# targets are all made by velloran_target, which must configure, and one with a plain
# add_executable beside them, which must stop and name it.
#   tests/targets_test.sh CMAKE SOURCE-DIR
set -uo pipefail
cmake=$1
source=$2
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
mkdir -p "$probe/good" "$probe/stray"
echo 'int main() { return 0; }' > "$probe/main.cpp"
project() {
    cat <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(probe LANGUAGES CXX)
include($source/cmake/VelloranTargets.cmake)
velloran_target(probe_program PROGRAM SOURCES $probe/main.cpp)
$1
velloran_check_targets()
CMAKE
}
project "" > "$probe/good/CMakeLists.txt"
project "add_executable(stray $probe/main.cpp)" > "$probe/stray/CMakeLists.txt"
faults=0
if ! out=$("$cmake" -S "$probe/good" -B "$probe/good/build" 2>&1); then
    printf '%s\n' "$out"
    echo "a project whose targets are all made by velloran_target does not configure"
    faults=$((faults + 1))
elif ! grep -q "Velloran: 1 targets, each with the project's warnings" <<< "$out"; then
    printf '%s\n' "$out"
    echo "the configuration does not say how many targets it checked"
    faults=$((faults + 1))
fi
if out=$("$cmake" -S "$probe/stray" -B "$probe/stray/build" 2>&1); then
    echo "a target made by add_executable configures without the project's warnings"
    faults=$((faults + 1))
elif ! grep -q "stray (in .*) is not made by velloran_target" <<< "$(tr '\n' ' ' <<< "$out" | tr -s ' ')"; then
    printf '%s\n' "$out"
    echo "the configuration stops without naming the stray target"
    faults=$((faults + 1))
fi
echo "targets: $faults fault(s)"
[ "$faults" -eq 0 ]
