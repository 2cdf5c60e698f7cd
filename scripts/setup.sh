#!/usr/bin/env bash
# Installs whatever Debian packages the build and the tests need. Quiet and
# quick when everything is already there.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
      librtaudio-dev librtmidi-dev libasound2-dev
      jackd2 libjack-jackd2-dev sox
      python3-mido libsndfile1-dev desktop-file-utils
      libsamplerate0-dev lv2-dev liblilv-dev lilv-utils jalv
      qt6-base-dev xvfb xauth fonts-dejavu-core
      clang libclang-rt-14-dev libhwy-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # jackd2 asks about real-time priority; answer it up front.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections 2>/dev/null || true
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
