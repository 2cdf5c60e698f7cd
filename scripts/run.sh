#!/usr/bin/env bash
# Install, build, and render the example bass line into out/kestrafon.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Only the program: the tests and benchmarks are built by scripts/test.sh.
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target kestrafon-cli
mkdir -p "$root/out"
(cd "$root" && build/src/kestrafon-cli render examples/bass.kfp -o out/kestrafon.wav)
echo "Wrote $root/out/kestrafon.wav"
