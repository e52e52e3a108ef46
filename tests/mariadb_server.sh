#!/usr/bin/env bash
# A MariaDB server of the tests' own: its data in FOLDER, a loopback port, a user "billing"
# and a database "contacts", ready for MariaDB's ODBC driver. "start" leaves the connection
# string in FOLDER/connection.txt (nothing where the server is not installed: the tests then
# say they skipped it); "stop" ends the server and removes FOLDER. The server ends by itself
# after an hour at the most.
#   mariadb_server.sh start|stop FOLDER
set -euo pipefail
what=$1 dir=$2
stop() {
    local pid
    pid=$(cat "$dir/pid" 2> /dev/null || true)
    if [ -n "$pid" ]; then
        kill "$pid" 2> /dev/null || true
        for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2> /dev/null || true
    fi
    rm -rf "$dir"
}
if [ "$what" = stop ]; then
    stop
    exit 0
fi
stop
mkdir -p "$dir"
server=$(command -v mariadbd || ls /usr/sbin/mariadbd 2> /dev/null || true)
if [ -z "$server" ] || ! command -v mariadb-install-db > /dev/null; then
    echo "no MariaDB server installed (Debian package mariadb-server): its tests will skip"
    exit 0
fi
user=$(id -un)
mariadb-install-db --no-defaults --datadir="$dir/data" --user="$user" \
    --auth-root-authentication-method=normal --skip-test-db > "$dir/install.log" 2>&1
for _ in $(seq 20); do
    port=$((20000 + RANDOM % 30000))
    timeout 3600 "$server" --no-defaults --datadir="$dir/data" --socket="$dir/sock" \
        --port="$port" --bind-address=127.0.0.1 --user="$user" --pid-file="$dir/pid" \
        --innodb-buffer-pool-size=64M --skip-log-bin --log-error="$dir/error.log" \
        < /dev/null > "$dir/server.out" 2>&1 &
    for _ in $(seq 300); do
        mariadb-admin --no-defaults --socket="$dir/sock" -uroot ping > /dev/null 2>&1 && break 2
        kill -0 $! 2> /dev/null || break
        sleep 0.1
    done
    wait $! 2> /dev/null || true
done
mariadb-admin --no-defaults --socket="$dir/sock" -uroot ping > /dev/null
password=test-$RANDOM-$RANDOM
mariadb --no-defaults --socket="$dir/sock" -uroot << SQL
CREATE DATABASE contacts CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
CREATE USER 'billing'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL ON contacts.* TO 'billing'@'127.0.0.1';
SQL
printf '%s' "Driver=MariaDB Unicode;Server=127.0.0.1;Port=$port;Database=contacts;User=billing;Password=$password;CHARSET=utf8mb4;InitStmt=SET SQL_MODE='MSSQL';" > "$dir/connection.txt"
echo "MariaDB serves 127.0.0.1:$port from $dir"
