#!/usr/bin/env bash
# Installs the Debian packages that Velloran needs to build, run and test (clang for the
# sanitizer and fuzzing build), where missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libqt6sql6-odbc libqt6sql6-sqlite
    unixodbc unixodbc-dev libsqliteodbc libsqlite3-dev sqlite3 tdsodbc odbc-mariadb
    mariadb-server mariadb-client
    fonts-dejavu-core poppler-utils xvfb xauth libxml2-utils xdotool lintian dpkg-dev
    clang libclang-rt-14-dev libmicrohttpd-dev libgnutls28-dev openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
