#!/usr/bin/env bash
# Install, build, and run the whole test suite: a plain build, one with
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, and each fuzz target for 30 s on its committed corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

echo "== plain build"
"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-asan" -DKF_SANITIZE=address,undefined -DKF_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

echo "== ThreadSanitizer (threaded tests)"
"$root/scripts/build.sh" "$root/build-tsan" -DKF_SANITIZE=thread -DKF_BUILD_BENCH=OFF -DKF_BUILD_UI=OFF
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j"$jobs" -L threads)

echo "== fuzz targets (30 s each, clang build of the libraries they need)"
for t in preset_render sample_render json_build settings midi_file; do
  "$root/scripts/fuzz.sh" "$t" 30
done
