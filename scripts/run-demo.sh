#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo contact database, the demo company file and
# a config.txt beside the program, starts the company-file host, and starts Velloran. The host
# stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only what the demo runs: the program, the company-file host and the demo-data tool.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j2 --target velloran qbhost make_contacts

demo="$PWD/build/demo"
mkdir -p "$demo"
[ -f "$demo/contacts.db" ] || build/bin/make_contacts "$demo/contacts.db"

cat > build/bin/config.txt <<CONFIG
Velloran settings
Contact database,"Driver=SQLite3;Database=$demo/contacts.db;NoCreat=1;StepAPI=1;"
Chamber item,Membership Dues
Foundation item,Pledge
CONFIG

[ -f "$demo/company.qbw" ] || scripts/make-demo-company.sh build/bin/qbhost "$demo/company.qbw"

build/bin/qbhost serve "$demo/company.qbw" &
host=$!
trap 'kill "$host" 2>/dev/null || true; wait "$host" 2>/dev/null || true' EXIT

echo "Starting build/bin/velloran on the demo contacts ($demo/contacts.db)"
echo "Invoices made: build/bin/qbhost invoices $demo/company.qbw"
build/bin/velloran
