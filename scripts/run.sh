#!/usr/bin/env bash
# Install, build, and render the example bass line into out/kestrafon.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
mkdir -p "$root/out"
(cd "$root" && build/src/kestrafon-cli render examples/bass.kfp -o out/kestrafon.wav)
echo "Wrote $root/out/kestrafon.wav"
