#!/usr/bin/env bash
# Installs whatever the build, the server and its tests need from Debian.
# Safe to run again: packages already present are not touched.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  # a faster linker (the build falls back to the system's without it)
  mold
  # engine, scripting, sound, chat, port mapping, transport
  libirrlicht-dev angelscript-dev libopenal-dev libvorbis-dev
  libircclient-dev libminiupnpc-dev libenet-dev
  # an internet gateway with UPnP and its firewall, for the port-mapping tests
  miniupnpd miniupnpd-nftables nftables
  # an IRC server on loopback for the chat window's tests
  ngircd
  # private network namespaces for the tests that open sockets
  util-linux iproute2
  # benchmark-only comparison library
  libmuparser-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "setup: not root and no sudo; install these packages: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
