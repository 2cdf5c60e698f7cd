#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) in
# build-fuzz and runs one of them:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is preset_render, sample_render, json_build, settings or midi_file.
# The committed corpus fuzz/corpus/TARGET is read, never written; new inputs
# collect in build-fuzz/corpus/TARGET. An input that makes the target fail is
# copied into fuzz/corpus/TARGET, so that it stays there as a regression case
# once committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]" >&2
  echo "targets: $(cd "$root/fuzz/corpus" && echo *)" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
[ -d "$root/fuzz/corpus/$target" ] || { echo "fuzz.sh: no target '$target'" >&2; exit 2; }
dir=$root/build-fuzz
# Only the engine, files and core libraries and the one target are built.
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKF_FUZZ=ON -DKF_SANITIZE=address,undefined \
  -DKF_BUILD_TESTS=OFF -DKF_BUILD_BENCH=OFF -DKF_BUILD_AUDIO=OFF -DKF_BUILD_UI=OFF >/dev/null
cmake --build "$dir" --target "fuzz_$target" >"$dir/build_$target.log" 2>&1 ||
  { cat "$dir/build_$target.log" >&2; exit 1; }
work=$dir/corpus/$target
artifacts=$dir/artifacts/$target
tmp=$dir/tmp/$target  # the targets' temporary input files
rm -rf "$tmp"
mkdir -p "$work" "$artifacts" "$tmp"
log=$dir/fuzz_$target.log
dict=()
[ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
set +e
TMPDIR=$tmp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
  "$dir/fuzz/fuzz_$target" "$work" "$root/fuzz/corpus/$target" "${dict[@]}" \
  -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" >"$log" 2>&1
rc=$?
set -e
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
if [ "$rc" -ne 0 ]; then
  tail -n 60 "$log" >&2
  for f in "$artifacts"/*; do
    [ -f "$f" ] || continue
    cp "$f" "$root/fuzz/corpus/$target/"
    echo "fuzz.sh: kept $(basename "$f") in fuzz/corpus/$target as a regression case" >&2
  done
  echo "fuzz $target: FAILED after ${runs:-?} executions (log: $log)" >&2
  exit 1
fi
echo "fuzz $target: ${runs:-?} executions in $seconds s (${rate:-?}/s)"
