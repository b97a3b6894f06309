#!/usr/bin/env bash
# Builds and runs orvela-cli: polls the controller on --port PATH, or the simulator when no port
# is given, for --rounds N full rounds (default 1), then prints every input. The program folder is
# build/home unless ORVELA_HOME says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=1
port=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="${2:?--rounds needs a number}"; shift 2 ;;
    --port) port="${2:?--port needs a path}"; shift 2 ;;
    *) echo "usage: bash scripts/run.sh [--rounds N] [--port PATH]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target orvela-cli vantor-sim >/dev/null

export ORVELA_HOME="${ORVELA_HOME:-$PWD/build/home}"
mkdir -p "$ORVELA_HOME/INI"
if [ -z "$port" ]; then
  # The simulator answers at address 1; a first start of the program would ask address 0.
  [ -f "$ORVELA_HOME/INI/VANTOR.ini" ] || printf '[VANTOR]\r\nSystemAddress=1\r\n' > "$ORVELA_HOME/INI/VANTOR.ini"
  exec 3< <(exec build/tools/vantor-sim/vantor-sim)
  simulator=$!
  trap 'kill "$simulator" 2>/dev/null || true' EXIT
  read -r -t 10 port <&3
fi
build/tools/orvela-cli/orvela-cli poll --rounds "$rounds" --port "$port"
