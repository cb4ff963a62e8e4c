#!/usr/bin/env bash
# Runs a libFuzzer harness of fuzz/ for a while, from a fresh copy of its seed
# corpus (so runs are alike in time, not in inputs).
#   scripts/fuzz.sh NAME SECONDS     NAME: transaction, requests, sim_framing, listen or all
# Builds with clang in build-fuzz/. Prints the executions of each run; exits
# non-zero when a harness found something, leaving the input that shows it in
# build-fuzz/findings/NAME/ (reproduce: build-fuzz/fuzz/NAME_fuzz FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: $0 transaction|requests|sim_framing|listen|all SECONDS" >&2; exit 2; }
[ $# -eq 2 ] || usage
case "$1" in
  transaction|requests|sim_framing|listen) names=("$1") ;;
  all) names=(transaction requests sim_framing listen) ;;
  *) usage ;;
esac
seconds=$2
[[ "$seconds" =~ ^[0-9]+$ ]] || usage

# llvm-14 brings the symbolizer that makes the sanitizers' stack traces readable.
scripts/install-deps.sh clang-14 libclang-rt-14-dev llvm-14

dir=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMODBUS_TESTER_FUZZ=ON >/dev/null
targets=()
for name in "${names[@]}"; do targets+=("${name}_fuzz"); done
cmake --build "$dir" -j2 --target "${targets[@]}"

export ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-14
export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for name in "${names[@]}"; do
  work="$dir/work/$name" findings="$dir/findings/$name" log="$dir/logs/$name.log"
  rm -rf "$work" "$findings"  # what is left there afterwards is this run's
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  cp fuzz/corpus/"$name"/* "$work"/
  options=(-max_total_time="$seconds" -timeout=25 -print_final_stats=1 -artifact_prefix="$findings/")
  [ -f fuzz/"$name".dict ] && options+=(-dict=fuzz/"$name".dict)
  echo "== $name: $seconds s =="
  status=0
  "$dir/fuzz/${name}_fuzz" "${options[@]}" "$work" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "$name: ${runs:-?} executions (${rate:-?}/s), corpus $(ls "$work" | wc -l) inputs"
  if [ "$status" -ne 0 ]; then
    grep -E "FINDING|ERROR: |SUMMARY|runtime error" "$log" | head -20 || true
    echo "$name: FOUND SOMETHING (exit $status); input in $findings/, log in $log" >&2
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "findings: ${failed[*]}" >&2; exit 1; }
