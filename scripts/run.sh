#!/usr/bin/env bash
# Builds and runs the program's main window on the controller simulator, or on --port PATH. The
# program folder is build/home unless ORVELA_HOME says otherwise; its INI files point the program
# at the line, so a first start polls at once. Without a display the window runs under Xvfb until
# one full round is polled, its screenshot is saved in the program folder and the script exits.
set -euo pipefail
cd "$(dirname "$0")/.."

port=""
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port="${2:?--port needs a path}"; shift 2 ;;
    *) echo "usage: bash scripts/run.sh [--port PATH]" >&2; exit 2 ;;
  esac
done

if [ -z "${ORVELA_RUN_INNER:-}" ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j2 --target orvela vantor-sim orvela-cli >/dev/null
fi

home="${ORVELA_HOME:-$PWD/build/home}"
export ORVELA_HOME="$home"
mkdir -p "$home/INI"

# Sets one key of section [Transmitter] in INI/ComPort.ini, keeping the rest; CR LF lines, cp1251
# as the program reads it. A path that cp1251 cannot hold is refused: a "?" in its place would
# name another port.
set_port() {
  local file="$home/INI/ComPort.ini" encoded
  if ! encoded=$(printf '%s' "$1" | iconv -f UTF-8 -t CP1251 2>/dev/null); then
    echo "Путь порта $1 нельзя записать в кодировке cp1251" >&2
    exit 2
  fi
  if [ -f "$file" ] && LC_ALL=C grep -q '^Port=' "$file"; then
    # The path as data for sed: its \, & and | escaped.
    encoded=$(printf '%s' "$encoded" | LC_ALL=C sed 's/[\\&|]/\\&/g')
    LC_ALL=C sed -i "s|^Port=.*|Port=$encoded\r|" "$file"
  else
    printf '[Transmitter]\r\nPort=%s\r\n' "$encoded" > "$file"
  fi
}

simulator=""
stop_simulator() { [ -n "$simulator" ] && kill "$simulator" 2>/dev/null || true; }
trap stop_simulator EXIT

if [ -z "$port" ]; then
  # The simulator answers at address 1 on a fixed link, so the stored settings stay valid.
  [ -f "$home/INI/VANTOR.ini" ] || printf '[VANTOR]\r\nSystemAddress=1\r\n' > "$home/INI/VANTOR.ini"
  link="$home/vantor-tty"
  exec 3< <(exec build/tools/vantor-sim/vantor-sim --link "$link")
  simulator=$!
  read -r -t 10 _ <&3 || { echo "the simulator did not start" >&2; exit 1; }
  port="$link"
fi
set_port "$port"

if [ -z "${ORVELA_RUN_INNER:-}" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/src/app/orvela
    exit 0
  fi
  # No display: the rest inside a virtual one, on the line set up above.
  ORVELA_RUN_INNER=1 xvfb-run -a -s "-screen 0 1280x800x24" bash scripts/run.sh --port "$port"
  exit 0
fi

# Inside Xvfb: run until the second round begins (command 0 logged twice), then take the picture
# and close the window as the operator would, with Esc.
log="$home/LOG/log_$(date +%Y_%m_%d).txt"
rounds_started() {
  [ -f "$log" ] || { echo 0; return; }
  iconv -f cp1251 -t utf-8 "$log" | grep -c 'Считать общую информацию' || true
}
before=$(rounds_started)
build/src/app/orvela &
program=$!
deadline=$((SECONDS + 120))
while [ "$(rounds_started)" -lt $((before + 2)) ]; do
  if ! kill -0 "$program" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
    # What the window shows then (a message box, most likely) tells why.
    import -window root "$home/orvela-window.png" 2>/dev/null || true
    echo "no full round was polled; screen: $home/orvela-window.png; event log: $log" >&2
    kill "$program" 2>/dev/null || true
    exit 1
  fi
  sleep 0.5
done
shot="$home/orvela-window.png"
import -window root "$shot"
# xdotool may complain about the window it closed; the program is given 5 s to end by itself.
xdotool search --sync --onlyvisible --name 'Orvela' windowfocus --sync key Escape >/dev/null 2>&1 || true
for _ in $(seq 50); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
kill "$program" 2>/dev/null || true
wait "$program" || true
echo "screenshot: $shot"
echo "event log: $log"
