#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo contact database and a config.txt beside
# the program that points at it, and starts Velloran.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

demo="$PWD/build/demo"
mkdir -p "$demo"
[ -f "$demo/contacts.db" ] || build/bin/make_contacts "$demo/contacts.db"

cat > build/bin/config.txt <<CONFIG
Velloran settings
Contact database,"Driver=SQLite3;Database=$demo/contacts.db;NoCreat=1;StepAPI=1;"
Chamber item,Membership Dues
Foundation item,Pledge
CONFIG

echo "Starting build/bin/velloran on the demo contacts ($demo/contacts.db)"
exec build/bin/velloran
