#!/usr/bin/env bash
# Takes pictures of what the operator sees, on a virtual display in the Russian locale: the main
# window after two rounds on the simulator (a faulty sensor, an input out of link, a rising
# sensor), in both layouts, with the next alarm row selected and after a signature read, each
# dialog and message box, and the trends window with readings and without; and the
# dispatcher's page in headless chromium (the overview, a station, the alarm list) over three
# stations. They go into build/screenshots/, to be opened and compared with the layout the program
# is meant to have.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target window_screenshots vantor-sim orvela-cli orvela-dispatch >/dev/null

out="$PWD/build/screenshots"
rm -rf "$out"
mkdir -p "$out"
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 QT_QPA_PLATFORM=xcb ORVELA_TEST_TOOLS="$PWD/build/tools"
unset LANGUAGE
xvfb-run -a -s "-screen 0 1280x800x24" build/tests/app/window_screenshots "$out"
/usr/bin/python3 tests/dispatch/dispatch_screenshots.py "$out"
echo "screenshots: $out"
