#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder and checks it as a
# newcomer meets it: its files and dependencies, lintian without errors, and the programs run
# from the unpacked tree (a prefix other than /usr) keeping their files in the per-user folder.
#     PackageTest.sh BUILD_DIR
set -uo pipefail
build="${1:?usage: PackageTest.sh BUILD_DIR}"
work=$(mktemp -d)
simulator=""
cleanup() {
  [ -n "$simulator" ] && kill "$simulator" 2>/dev/null && wait "$simulator" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/orvela_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: no package built" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/orvela ./usr/bin/orvela-cli ./usr/bin/orvela-dispatch ./usr/bin/vantor-sim \
            ./usr/share/orvela/locale/ru/LC_MESSAGES/default.mo ./usr/share/orvela/locale/ru/LC_MESSAGES/cport.mo \
            ./usr/share/applications/orvela.desktop ./usr/share/icons/hicolor/scalable/apps/orvela.svg \
            ./usr/share/man/man1/orvela-cli.1.gz ./usr/share/man/man1/orvela.1.gz \
            ./usr/share/man/man1/vantor-sim.1.gz ./usr/share/man/man1/orvela-dispatch.1.gz \
            ./usr/share/doc/orvela/copyright ./usr/share/doc/orvela/changelog.gz \
            ./usr/lib/systemd/system/orvela-station.service ./usr/lib/systemd/system/orvela-dispatch.service; do
  grep -qxF "$path" <<< "$contents" || fail "$path is not in the package"
done
# Only the programs and their shared files: no test, benchmark or library of the build.
extra=$(grep -vE '^\./usr/(bin/(orvela|orvela-cli|orvela-dispatch|vantor-sim)|share/(orvela|applications|icons|man|doc)(/.*)?|lib/systemd/system/orvela-(station|dispatch)\.service)$|/$' <<< "$contents")
[ -z "$extra" ] || fail "unexpected files: $extra"

depends=$(dpkg-deb -f "$deb" Depends)
for package in qt6-translations-l10n libqt6widgets6 libqt6core6 libmodbus5 libc6; do
  grep -qE "(^|, )$package( |,|$)" <<< "$depends" || fail "Depends lacks $package: $depends"
done

if command -v lintian > /dev/null; then
  lintian "$deb" > "$work/lintian.log" 2>&1
  if grep -q '^E:' "$work/lintian.log"; then
    fail "lintian errors:"; grep '^E:' "$work/lintian.log" >&2
  fi
else
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi

desktop="$work/root/usr/share/applications/orvela.desktop"
dpkg-deb -x "$deb" "$work/root"
grep -qx 'Name=Orvela - Программа настройки' "$desktop" || fail "the menu entry does not name the program as its window title does"
grep -q '^Comment=Настройка и опрос контроллера' "$desktop" || fail "the menu entry has no Russian comment"
grep -qE '^Categories=.*(Utility|Monitor);' "$desktop" || fail "the menu entry is in no category"
desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the menu entry"

# The service units, against the unpacked programs (the host has no /usr/bin/orvela-cli); any
# remark of systemd-analyze, even one it only warns about, is a failure.
unit="$work/root/usr/lib/systemd/system/orvela-station.service"
grep -qx 'ExecStart=/usr/bin/orvela-cli poll' "$unit" || fail "the unit does not run orvela-cli poll"
grep -qx 'SupplementaryGroups=dialout' "$unit" || fail "the unit's user cannot open serial ports"
grep -qx 'Environment=ORVELA_HOME=/var/lib/orvela' "$unit" || fail "the unit's program folder is not /var/lib/orvela"
dispatch_unit="$work/root/usr/lib/systemd/system/orvela-dispatch.service"
grep -qx 'ExecStart=/usr/bin/orvela-dispatch' "$dispatch_unit" || fail "the dispatcher's unit does not run orvela-dispatch"
grep -qx 'Environment=ORVELA_HOME=/var/lib/orvela-dispatch' "$dispatch_unit" || fail "the dispatcher's program folder is not its own"
for name in orvela-station orvela-dispatch; do
  sed "s#^ExecStart=/usr/bin/#ExecStart=$work/root/usr/bin/#" "$work/root/usr/lib/systemd/system/$name.service" > "$work/$name.service"
  verify=$(systemd-analyze verify --man=no "$work/$name.service" 2>&1) || fail "systemd-analyze verify $name failed: $verify"
  [ -z "$verify" ] || fail "systemd-analyze verify $name remarks: $verify"
done

# The unpacked programs, as an ordinary user of a fresh account would start them.
bin="$work/root/usr/bin"
mkdir -p "$work/home"
run() { env -u ORVELA_HOME -u XDG_DATA_HOME HOME="$work/home" LC_ALL=ru_RU.UTF-8 "$@"; }
files="$work/home/.local/share/Orvela"

run "$bin/orvela-cli" poll --rounds 1 --port /nonexistent/ttyUSB0 > "$work/out.txt" 2> "$work/err.txt"
code=$?
[ "$code" -eq 1 ] || fail "orvela-cli on a missing port exited $code"
grep -qF 'Ошибка активации порта :/nonexistent/ttyUSB0' "$work/err.txt" || fail "no activation message: $(cat "$work/err.txt")"
grep -qF 'Порта /nonexistent/ttyUSB0 нет в системе.' "$work/err.txt" || fail "no reason: $(cat "$work/err.txt")"
ls "$files"/LOG/log_*.txt > /dev/null 2>&1 || fail "no event log in $files"
[ ! -e "$bin/INI" ] && [ ! -e "$bin/LOG" ] || fail "files were written beside the installed programs"

# The packaged dispatcher runs, and keeps its page off the network without a password.
run "$bin/orvela-dispatch" --listen 0.0.0.0:8780 > "$work/out.txt" 2> "$work/err.txt"
code=$?
[ "$code" -eq 1 ] || fail "orvela-dispatch on 0.0.0.0 without a password exited $code"
grep -qF -- '--set-password' "$work/err.txt" || fail "no reason for the refusal: $(cat "$work/err.txt")"

# A round against the packaged simulator.
mkdir -p "$files/INI"
printf '[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\n' > "$files/INI/VANTOR.ini"
printf '[ctReqDevices]\r\nInterval=20\r\n' > "$files/INI/Timer.ini"
exec 3< <(exec "$bin/vantor-sim" --link "$work/tty")
simulator=$!
read -r -t 10 _ <&3 || fail "the packaged simulator did not start"
run timeout 120 "$bin/orvela-cli" poll --rounds 1 --interval 20 --port "$work/tty" > "$work/out.txt" 2> "$work/err.txt"
code=$?
[ "$code" -eq 0 ] || fail "orvela-cli poll against the packaged simulator exited $code: $(cat "$work/err.txt")"
[ "$(grep -c . "$work/out.txt")" -ge 192 ] || fail "the poll printed no table: $(head -n 5 "$work/out.txt")"

if [ "$failures" -eq 0 ]; then
  echo "package $(basename "$deb"): contents, Depends, lintian and the unpacked programs are right"
fi
[ "$failures" -eq 0 ]
