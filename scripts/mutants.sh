#!/usr/bin/env bash
# Plants each slip of the catalogue tests/mutants/*.patch, one at a time, in a scratch copy of the
# tree at HEAD (a detached git worktree, so the tree in use is never touched), rebuilds what the
# patch names and runs only those tests. A slip that no test notices is a hole in the suite.
#
#   bash scripts/mutants.sh [PATCH...]        (default: every patch of the catalogue)
#
# A patch file starts with its header, then a one-line diff with little context:
#   # Slip: what the change does wrong
#   # Tests: <test binary> <gtest filter>      (one line per binary)
# Prints caught (with the tests that failed), missed, stale (the patch no longer applies: refresh
# it against the code), broken (it does not build) or unsure (its tests fail without it), then the
# totals. Not part of scripts/test.sh: it takes long.
# ORVELA_MUTANTS_TREE sets the scratch folder; it is kept between runs for incremental builds.
set -uo pipefail
cd "$(dirname "$0")/.."
tree=${ORVELA_MUTANTS_TREE:-${TMPDIR:-/tmp}/orvela-mutants-$(id -u)}
build=$tree/build
limit=${ORVELA_MUTANT_LIMIT:-600}  # seconds per test binary; past it the slip counts as a hang

if [ $# -gt 0 ]; then patches=("$@"); else patches=(tests/mutants/*.patch); fi
[ ${#patches[@]} -gt 0 ] || { echo "no patches"; exit 2; }

head=$(git rev-parse HEAD)
if [ ! -e "$tree/.git" ]; then
  git worktree add --detach "$tree" "$head" >/dev/null || exit 2
fi
git -C "$tree" checkout --detach -q -f "$head" && git -C "$tree" clean -qfd -e build || exit 2
echo "Mutants of $(git log -1 --format='%h %s' "$head")"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=$tree
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null || exit 2

# The header's tests: "binary filter" per line.
tests_of() { sed -n 's/^# Tests: *//p' "$1"; }

# Builds the binaries of the given test lines; false when the build fails.
build_for() {
  local targets=()
  while read -r binary _; do targets+=(--target "$binary"); done <<<"$1"
  nice cmake --build "$build" -j2 "${targets[@]}" >"$build/mutant-build.log" 2>&1
}

# Runs the test lines; prints the failed tests (or how the binary ended) and returns 1 when any failed.
run_tests() {
  local failed=0 binary filter path log
  while read -r binary filter; do
    path=$(find "$build/tests" -maxdepth 2 -type f -name "$binary" -perm -u+x | head -n 1)
    [ -n "$path" ] || { echo "$binary (not built)"; failed=1; continue; }
    log=$build/mutant-$binary.log
    (cd "$(dirname "$path")" && QT_QPA_PLATFORM=offscreen ORVELA_TEST_TOOLS=$build/tools \
       timeout -k 10 "$limit" "$path" --gtest_filter="$filter" >"$log" 2>&1)
    local code=$?
    [ "$code" -eq 0 ] && continue
    failed=1
    local names
    names=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\)\( (\|, where \).*/\1/p' "$log" | sort -u | tr '\n' ' ')
    if [ -n "$names" ]; then echo "$names"
    elif [ "$code" -eq 124 ] || [ "$code" -eq 137 ]; then echo "$binary (hung past ${limit} s)"
    else echo "$binary (exit $code)"; fi
  done <<<"$1"
  return $failed
}

# The unplanted tree must pass what a patch runs, or its catch would mean nothing.
all_tests=$(for p in "${patches[@]}"; do tests_of "$p"; done | sort -u)
if ! build_for "$all_tests"; then
  echo "The tree does not build; see $build/mutant-build.log"; exit 2
fi
failing=""
while read -r line; do
  if ! result=$(run_tests "$line"); then
    echo "Fails without any slip: $line: $result"; failing+="$line"$'\n'
  fi
done <<<"$all_tests"

caught=0 missed=0 stale=0 broken=0 unsure=0
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  if [ -n "$failing" ] && grep -qxFf <(printf '%s' "$failing") <(tests_of "$patch"); then
    echo "unsure  $name (its tests fail without it)"; unsure=$((unsure + 1)); continue
  fi
  file=$(realpath "$patch")
  if ! git -C "$tree" apply --check "$file" 2>/dev/null; then
    echo "stale   $name"; stale=$((stale + 1)); continue
  fi
  git -C "$tree" apply "$file"
  tests=$(tests_of "$patch")
  if ! build_for "$tests"; then
    echo "broken  $name (does not build)"; broken=$((broken + 1))
  elif result=$(run_tests "$tests"); then
    echo "missed  $name"; missed=$((missed + 1))
  else
    echo "caught  $name by $result"; caught=$((caught + 1))
  fi
  git -C "$tree" checkout -q -- .
done

total=$((caught + missed))
echo "$caught caught, $missed missed of $total ($(( total ? caught * 100 / total : 0 )) %); $stale stale, $broken broken, $unsure unsure"
