#!/usr/bin/env bash
# Installs every Debian package Quillmer builds, runs or tests with. Safe to run again: when
# nothing is missing it prints nothing and touches nothing.
set -euo pipefail

# The one list. Grouped by what needs them; keep it sorted within a group.
packages=(
  # build
  cmake g++ git ninja-build pkg-config
  # core
  libssl-dev nlohmann-json3-dev
  # media decoding
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  # on-device speech recognition
  libpocketsphinx-dev pocketsphinx-en-us
  # tests, benchmarks, fuzzing
  clang espeak-ng ffmpeg libbenchmark-dev libclang-rt-14-dev libgmock-dev libgtest-dev pocketsphinx
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# apt may still be busy right after a machine starts; wait for its lock instead of failing.
$sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
