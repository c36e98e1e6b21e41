#!/usr/bin/env bash
# Starts Kelvo under Xvfb on a fresh demo database and saves a picture of the
# main window in each view. Prints the folder that holds the pictures.
#   bash tools/screenshots.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${KELVO_BUILD:-.build/release}
if [ ! -x "$BUILD/app/kelvo" ] || [ ! -x "$BUILD/tools/kelvotool" ]; then
  source tools/deps.sh
  kelvo_install_deps
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF >/dev/null
  cmake --build "$BUILD" -j"${KELVO_JOBS:-2}" --target kelvo kelvotool >/dev/null
fi
OUT=$(realpath -m "${1:-$(mktemp -d /tmp/kelvo-screens-XXXXXX)}")
mkdir -p "$OUT"
HOMEDIR=$(mktemp -d /tmp/kelvo-home-XXXXXX)
trap 'rm -rf "$HOMEDIR"' EXIT
# Made as the same computer that opens it, so the demo alarm is this user's.
KELVO_COMPUTERNAME=DEMO KELVO_HOSTADDRESS=127.0.0.1 "$BUILD/tools/kelvotool" demo "$HOMEDIR/Demo.dbm" >/dev/null 2>&1
# Today's items, so the day grid has something to show beside the week's.
TODAY=$(date +%m/%d/%Y)
for item in "Call the bank|09:00AM" "+Project review|02:00PM" "*Gym|06:30PM"; do
  "$BUILD/tools/kelvotool" add "$HOMEDIR/Demo.dbm" schedule "description=${item%|*}" repeat=O \
    "start=$TODAY ${item#*|}" >/dev/null 2>&1
done
printf 'LAST|%s\nIPADDRESS_LANSVR|127.0.0.1\nNETWORK_DISABLE|1\nSHOW|SW_SHOWMAXIMIZED\n' \
  "$HOMEDIR/Demo" >"$HOMEDIR/Kelvo.cfg"
KELVO_HOME="$HOMEDIR" KELVO_COMPUTERNAME=DEMO KELVO_HOSTADDRESS=127.0.0.1 \
  KELVO_TERMINAL_UI=yes KELVO_SCREENSHOTS="$OUT" \
  xvfb-run -a -s "-screen 0 1280x800x24" "$BUILD/app/kelvo" >/dev/null 2>&1
ls "$OUT"/*.png >/dev/null
echo "$OUT"
