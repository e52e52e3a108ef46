#!/usr/bin/env bash
# Every target gets the project's warnings because a target made any other way stops the
# configuration. Configures small projects with the project's own function: one whose targets
# are all made by velloran_target, which must configure and install its program, and one for
# each kind of target CMake makes with a plain add_executable or add_library beside them,
# which must stop and name it.
#   tests/targets_test.sh CMAKE SOURCE-DIR
set -uo pipefail
cmake=$1
source=$2
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main() { return 0; }' > "$probe/main.cpp"
echo 'int probe() { return 0; }' > "$probe/probe.cpp"
printf '.TH PROBE 1 "" "@PROJECT_VERSION@"\n' > "$probe/probe.1.in"
project() {
    cat <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(probe VERSION 1.0 LANGUAGES CXX)
include(GNUInstallDirs)
include($source/cmake/VelloranTargets.cmake)
velloran_target(probe_program PROGRAM INSTALL MANUAL $probe/probe.1.in SOURCES $probe/main.cpp)
velloran_target(probe_library LIBRARY SOURCES $probe/probe.cpp)
$1
velloran_check_targets()
CMAKE
}
faults=0
fault() {
    printf '%s\n' "$2"
    echo "$1"
    faults=$((faults + 1))
}
mkdir -p "$probe/good"
project "" > "$probe/good/CMakeLists.txt"
if ! out=$("$cmake" -S "$probe/good" -B "$probe/good/build" 2>&1); then
    fault "a project whose targets are all made by velloran_target does not configure" "$out"
elif ! grep -q "Velloran: 2 targets, each with the project's warnings" <<< "$out"; then
    fault "the configuration does not say how many targets it checked" "$out"
elif ! grep -q 'bin/probe_program' "$probe/good/build/cmake_install.cmake" ||
     ! grep -q 'man1.*probe_program.1.gz' "$probe/good/build/cmake_install.cmake"; then
    fault "an INSTALL program or its manual page is not installed" \
          "$(cat "$probe/good/build/cmake_install.cmake")"
fi
for stray in "add_executable(stray $probe/main.cpp)" \
             "add_library(stray STATIC $probe/probe.cpp)" \
             "add_library(stray SHARED $probe/probe.cpp)" \
             "add_library(stray MODULE $probe/probe.cpp)" \
             "add_library(stray OBJECT $probe/probe.cpp)"; do
    kind=$(tr -c 'A-Za-z_\n' _ <<< "$stray" | cut -c1-24)
    mkdir -p "$probe/$kind"
    project "$stray" > "$probe/$kind/CMakeLists.txt"
    if out=$("$cmake" -S "$probe/$kind" -B "$probe/$kind/build" 2>&1); then
        fault "$stray configures without the project's warnings" "$out"
    elif ! grep -q "stray (in .*) is not made by velloran_target" \
            <<< "$(tr '\n' ' ' <<< "$out" | tr -s ' ')"; then
        fault "$stray stops the configuration without being named" "$out"
    fi
done
echo "targets: $faults fault(s)"
[ "$faults" -eq 0 ]
