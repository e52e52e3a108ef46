#!/usr/bin/env bash
# The Debian package, installed and run as a user would: cpack makes it, lintian finds nothing
# to say, dpkg-deb unpacks it into a temporary root, and the unpacked velloran, under a virtual
# display with its config.txt in the user's configuration folder, fills the demo list and
# prints it to a PDF file. Skips, saying why, where dpkg-deb or the display tools are missing.
#   tests/package_test.sh BUILD_DIR MAKE_CONTACTS
set -euo pipefail
build=$1
make_contacts=$2
for tool in dpkg-deb cpack Xvfb xdotool pdftotext; do
    if ! command -v "$tool" > /dev/null; then
        echo "SKIPPED: $tool is not installed here, so the package cannot be tried"
        exit 0
    fi
done
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" > "$work/cpack.log")
deb=$(ls "$work"/pkg/velloran_*_*.deb)
echo "made $(basename "$deb")"
if command -v lintian > /dev/null; then
    findings=$(lintian --allow-root "$deb" 2>&1 | grep -E '^(E|W):' || true)
    if [ -n "$findings" ]; then
        echo "lintian: $findings"
        exit 1
    fi
    echo "lintian: no error, no warning"
fi
dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/velloran usr/bin/qbhost usr/bin/qbbridge usr/share/man/man1/velloran.1.gz \
    usr/lib/systemd/user/qbbridge.service \
    usr/share/doc/velloran/copyright usr/share/doc/velloran/examples/config.txt \
    usr/share/icons/hicolor/scalable/apps/velloran.svg usr/share/applications/velloran.desktop; do
    [ -e "$work/root/$file" ] || { echo "missing from the package: $file"; exit 1; }
done

# A user with the demo contacts and a config.txt in ~/.config/velloran.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME/velloran" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The bridge's user unit: systemd finds nothing wrong with it (where systemd-analyze is here),
# and its ExecStart line, run by hand with a settings file, serves the Web Connector's WSDL.
unit="$work/root/usr/lib/systemd/user/qbbridge.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = "/usr/bin/qbbridge serve" ] || { echo "the unit starts: $exec_start"; exit 1; }
if command -v systemd-analyze > /dev/null; then
    # The unit as installed, its program where the package was unpacked.
    sed "s|/usr/bin/qbbridge|$work/root/usr/bin/qbbridge|" "$unit" > "$work/qbbridge.service"
    if ! report=$(systemd-analyze verify --user --man=no "$work/qbbridge.service" 2>&1) ||
        grep -q "qbbridge.service" <<< "$report"; then
        echo "systemd-analyze: $report"
        exit 1
    fi
    echo "systemd-analyze: the unit verifies"
else
    echo "SKIPPED: systemd-analyze is not installed here, so the unit was not verified"
fi
printf 'a password of some length\n' > "$work/password" && chmod 600 "$work/password"
cat > "$XDG_CONFIG_HOME/velloran/qbbridge.conf" << SETTINGS
# as the clerk writes it
listen = 127.0.0.1:0
user = billing
password-file = $work/password
SETTINGS
read -r program arguments <<< "$exec_start"
# shellcheck disable=SC2086 # the unit's arguments, split as systemd splits them
"$work/root$program" $arguments > "$work/bridge.out" 2> "$work/bridge.err" &
pids+=($!)
for _ in $(seq 50); do grep -q serving "$work/bridge.out" && break; sleep 0.1; done
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/qbwc|\1|p' "$work/bridge.out")
[ -n "$port" ] || { echo "the bridge did not serve:"; cat "$work/bridge.err"; exit 1; }
exec 3<> "/dev/tcp/127.0.0.1/$port"
printf 'GET /qbwc?wsdl HTTP/1.0\r\n\r\n' >&3
grep -q "soap:address location=\"http://127.0.0.1:$port/qbwc\"" <&3 ||
    { echo "the bridge's WSDL is missing"; exit 1; }
exec 3<&-
echo "the unit's ExecStart served the WSDL on port $port"
"$make_contacts" "$work/contacts.db" > /dev/null
cat > "$XDG_CONFIG_HOME/velloran/config.txt" << CONFIG
Velloran settings
Contact database,"Driver=SQLite3;Database=$work/contacts.db;NoCreat=1;StepAPI=1;"
Chamber item,Membership Dues
Foundation item,Pledge
CONFIG
display=:$((50 + RANDOM % 200))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display LANG=C.UTF-8 QT_QPA_PLATFORM=xcb
sleep 1
"$work/root/usr/bin/velloran" > "$work/velloran.log" 2>&1 &
pids+=($!)
sleep 3
# The keyboard path: the company and the billing method, Refresh, then Print, accepted with
# the file the dialog offers.
key() { xdotool key --delay 150 "$@"; sleep 0.5; }
key Tab Tab Down Tab Down Down Tab space
sleep 1
key Tab Tab space
sleep 1.5
key Return
sleep 2
pdf=$(ls "$HOME"/Kestlemere*.pdf 2> /dev/null | head -1 || true)
[ -n "$pdf" ] || { echo "no printed list in $HOME"; cat "$work/velloran.log"; exit 1; }
text=$(pdftotext -layout "$pdf" -)
# The list of next month (the window's default): its rows carry that month's first day.
first=$(date -d "$(date +%Y-%m-15) +1 month" +%-m/1/%Y)
for expected in "Kestlemere Chamber of Commerce - " "Amount to Bill" "$first" "Page 1 of"; do
    grep -qF "$expected" <<< "$text" || { echo "the printed list lacks: $expected"; echo "$text"; exit 1; }
done
echo "the installed velloran filled the list and printed it: $(basename "$pdf")"
