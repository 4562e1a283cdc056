#!/usr/bin/env bash
# Builds the fuzz targets with clang, seeds them with files made by the
# project's own writers and runs each for SECONDS (default 60):
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Prints per target the executions, their rate and the corpus size; exits
# non-zero when any target finds a crash, a leak, a time-out or a broken
# invariant (the input is kept in build-fuzz/findings/, the end of the
# target's log is printed). FUZZ_SEED and FUZZ_RUNS make a run repeatable:
# the same seed and number of executions explore the same inputs anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_fits fuzz_fits_gzip fuzz_jpeg fuzz_prefs fuzz_settings fuzz_numbers fuzz_ser)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCAUSTICA_BUILD_FUZZ=ON -DCAUSTICA_BUILD_UI=OFF -DCAUSTICA_BUILD_TESTS=OFF \
  -DCAUSTICA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target make_seeds "${targets[@]}"

rm -rf build-fuzz/seeds && build-fuzz/fuzz/make_seeds build-fuzz/seeds
mkdir -p build-fuzz/findings build-fuzz/scratch
failed=0
printf '%-16s %12s %10s %8s\n' target executions exec/s corpus
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  cp -n build-fuzz/seeds/"$t"/* "$corpus"/ 2>/dev/null || true
  log="build-fuzz/$t.log"
  status=0
  repeat=()
  [ -n "${FUZZ_SEED:-}" ] && repeat+=(-seed="$FUZZ_SEED")
  [ -n "${FUZZ_RUNS:-}" ] && repeat+=(-runs="$FUZZ_RUNS")
  TMPDIR="$PWD/build-fuzz/scratch" ASAN_OPTIONS=detect_leaks=1 \
    "build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
    -print_final_stats=1 "${repeat[@]}" -artifact_prefix="build-fuzz/findings/$t-" "$corpus" >"$log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  size=$(find "$corpus" -type f | wc -l)
  printf '%-16s %12s %10s %8s\n' "$t" "${runs:-0}" "${rate:-0}" "$size"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $t found a problem (see $log):" >&2
    grep -E 'ERROR|SUMMARY|Test unit written|invariant|==[0-9]+==' "$log" | tail -20 >&2 || true
    tail -15 "$log" >&2
    failed=1
  fi
done
exit "$failed"
