#!/usr/bin/env bash
# Install, build, and open the window; without a display, render the example
# bass line into out/kestrafon.wav instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Only the programs: the tests and benchmarks are built by scripts/test.sh.
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target kestrafon-cli
if cmake --build "$root/build" --target help | grep -q '^kestrafon:'; then
  cmake --build "$root/build" --target kestrafon
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$root/build/src/kestrafon" ]; then
  cd "$root" && exec build/src/kestrafon
fi
echo "No display found: rendering the example instead of opening the window."
mkdir -p "$root/out"
(cd "$root" && build/src/kestrafon-cli render examples/bass.kfp -o out/kestrafon.wav)
echo "Wrote $root/out/kestrafon.wav"
