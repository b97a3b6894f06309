#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer that also runs the fuzz targets; then the tests where the request
# thread, the port's event thread and the UI thread meet, under ThreadSanitizer. The last line is
# the count of passed and failed test binaries and fuzz runs over all passes.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
# Objects built before, in any checkout on this machine, are taken from the compiler cache.
export CCACHE_BASEDIR="$PWD"
# Debug builds otherwise hash the build folder too, and a checkout elsewhere never hits; an object
# taken this way names the other checkout's folder in its debug information.
export CCACHE_NOHASHDIR=true
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

count() {  # count <ctest build dir>
  local log="$1/ctest.log" p f
  p=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$log" || true)
  f=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*(\*\*\*|Failed|Timeout|Exception|Not Run)' "$log" || true)
  passed=$((passed + p)); failed=$((failed + f))
}

run_pass() {  # run_pass <build dir> [--tests <ctest regex> <targets...> --] <cmake args...>
  local dir="$1" select=() targets=(); shift
  if [ "${1:-}" = --tests ]; then
    select=(-R "$2"); shift 2
    while [ "$1" != -- ]; do targets+=(--target "$1"); shift; done
    shift
  fi
  if ! cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null || ! cmake --build "$dir" -j2 "${targets[@]}"; then
    echo "Build failed in $dir"; failed=$((failed + 1)); return 1
  fi
  # Four at once on two cores: the tests mostly wait on lines, brokers and timers.
  (cd "$dir" && ctest --output-on-failure -j4 "${select[@]}" 2>&1 | tee ctest.log)
  count "$dir"
}

run_pass build -DCMAKE_BUILD_TYPE=RelWithDebInfo

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The window is closed at random 32 times in the normal pass, 16 here: each kind of close is met
# either way, and the sanitizers watch every one; the long run is bench_close_at_random.
export ORVELA_CLOSES=16
# The operator sessions likewise: three seeds of 40 steps under the sanitizers, 100 in the normal pass.
export ORVELA_SESSION_STEPS=40
if run_pass build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
     -DORVELA_SANITIZE=ON -DORVELA_FUZZ=ON; then
  while read -r target seconds; do
    [ -n "$target" ] || continue
    corpus="build-asan/fuzz/corpus-$target"
    mkdir -p "$corpus"
    echo "Fuzzing $target for $seconds s"
    if "build-asan/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
         > "build-asan/fuzz/$target.log" 2>&1; then
      passed=$((passed + 1)); tail -n 3 "build-asan/fuzz/$target.log"
    else
      failed=$((failed + 1)); tail -n 40 "build-asan/fuzz/$target.log"
    fi
  done < fuzz/targets.txt
fi

unset ASAN_OPTIONS UBSAN_OPTIONS ORVELA_CLOSES ORVELA_SESSION_STEPS
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
run_pass build-tsan --tests '^(transport|device|publish_thread)_tests(_[0-9]+)?$' transport_tests device_tests \
  publish_tests vantor-sim -- \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DORVELA_TSAN=ON

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
