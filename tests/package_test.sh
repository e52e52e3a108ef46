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
    usr/share/doc/velloran/copyright usr/share/doc/velloran/examples/config.txt \
    usr/share/icons/hicolor/scalable/apps/velloran.svg usr/share/applications/velloran.desktop; do
    [ -e "$work/root/$file" ] || { echo "missing from the package: $file"; exit 1; }
done

# A user with the demo contacts and a config.txt in ~/.config/velloran.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME/velloran" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
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
