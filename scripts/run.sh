#!/usr/bin/env bash
# Install, build, and render the default sound into out/kestrafon.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
mkdir -p "$root/out"
"$root/build/src/kestrafon-cli" tone --freq 440 -o "$root/out/kestrafon.wav"
echo "Wrote $root/out/kestrafon.wav"
