#!/usr/bin/env bash
# Installs, from Debian, whatever the build, the editor and the tests need and is not there yet.
# Safe to run again: it asks apt only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  llvm  # llvm-symbolizer: sanitizer reports and fuzzer coverage name their functions, which suppressions match
  libgtest-dev libgmock-dev
  libtinyxml2-dev librtmidi-dev libjack-jackd2-dev libasound2-dev libpng-dev zlib1g-dev libpoco-dev
  libgtk-3-dev libpixman-1-dev fonts-dejavu-core
  libepoxy-dev libegl-mesa0 libgl1-mesa-dri
  jackd2 xvfb xauth python3
  libx11-dev libxtst-dev
)

# One dpkg-query for all of them (the run command starts with this, so it must be quick); a
# package dpkg has never heard of is listed on standard error only, and so counts as missing.
declare -A installed=()
while IFS=' ' read -r name want ok state; do
  [[ "$want $ok $state" == "install ok installed" ]] && installed[${name%%:*}]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [[ -n "${installed[$p]:-}" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # jackd2 asks about realtime priority; preseed the answer so the install never waits.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
