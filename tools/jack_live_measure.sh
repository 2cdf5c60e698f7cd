#!/usr/bin/env bash
# The live stream under JACK: a server with the dummy driver at 48 kHz and
# 64-frame periods, `kestrafon-cli live` with 8 voices of examples/pad.kfp
# fed a MIDI file through a JACK MIDI port while the sound's state changes
# 100 times a second through the session. Prints the server's xruns (seen by
# the feeder's client) and the block's share of its period (median, worst).
#   tools/jack_live_measure.sh [BUILD_DIR] [SECONDS] [SONG.mid]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-60}
song=${3:-$root/tests/data/midi/chord.mid}
export JACK_DEFAULT_SERVER=kf-measure-$$
work=$(mktemp -d)
# Real-time scheduling where allowed (as an audio machine runs it), else without.
jackd_opts=(-R -P 70)
chrt -f 10 true 2>/dev/null || jackd_opts=(--no-realtime)
jackd "${jackd_opts[@]}" -d dummy -r 48000 -p 64 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
cleanup() { kill "$jackd_pid" 2>/dev/null || true; wait "$jackd_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
jack_wait -w -t 10 >/dev/null

"$build/src/kestrafon-cli" live "$root/examples/pad.kfp" --voices 8 --rate 48000 --audio-api jack \
    --midi-api jack --midi-virtual kf-live-in --churn 100 --seconds "$((seconds + 2))" >"$work/live.txt" 2>&1 &
live_pid=$!
port=""
for _ in $(seq 50); do
    port=$(jack_lsp | grep -m1 'kf-live-in' || true)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "no MIDI input port of the live stream" >&2; cat "$work/live.txt" >&2; exit 1; }
"$build/tools/kf-jack-midi-feed" "$song" "$port" "$seconds" | tee "$work/feed.txt"
wait "$live_pid"
cat "$work/live.txt"
