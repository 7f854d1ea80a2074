#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, all side by
# side. Fails on any crash, sanitizer report, leak, timeout or memory
# blow-up; the input that caused it is left in $BUILD_DIR/artifacts.
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_BUILD_DIR build directory (default build-fuzz)
#   FUZZ_CORPUS    corpus directory kept between runs (default $BUILD_DIR/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
corpus=${FUZZ_CORPUS:-$build/corpus}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGIFJOIN_FUZZ=ON -DGIFJOIN_TESTS=OFF >/dev/null
targets=(read roundtrip join)
# fuzz_optimize is there when giflib (libgif-dev) is.
if cmake --build "$build" --target help | grep fuzz_optimize >/dev/null; then targets+=(optimize); fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" make_seed_corpus

rm -rf "$corpus"/*_seeds
"$build/fuzz/make_seed_corpus" "$corpus/read_seeds" "$corpus/roundtrip_seeds" "$corpus/join_seeds" \
  "$corpus/optimize_seeds"
for target in "${targets[@]}"; do mkdir -p "$corpus/$target" "$corpus/${target}_seeds"; done
mkdir -p "$build/artifacts"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Every input that ever broke the reader, once more through its target.
shopt -s nullglob
crashers=(tests/data/crashers/*)
if [ "${#crashers[@]}" -gt 0 ]; then
  "$build/fuzz/fuzz_read" -runs=1 "${crashers[@]}" >"$build/replay.log" 2>&1 || {
    tail -40 "$build/replay.log"; echo "a known crasher fails again"; exit 1; }
fi

common=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -print_final_stats=1
  -artifact_prefix="$build/artifacts/")

declare -A pids
for target in "${targets[@]}"; do
  "$build/fuzz/fuzz_$target" "${common[@]}" -dict=fuzz/gif.dict \
    "$corpus/$target" "$corpus/${target}_seeds" >"$build/fuzz_$target.log" 2>&1 &
  pids[$target]=$!
done

fail=0
for target in "${targets[@]}"; do
  if wait "${pids[$target]}"; then
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$build/fuzz_$target.log")
    echo "fuzz_$target: $runs runs in $seconds s, no failure"
  else
    fail=1
    echo "fuzz_$target FAILED:"
    tail -60 "$build/fuzz_$target.log"
  fi
done
exit $fail
