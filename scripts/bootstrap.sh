#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Quick when
# everything is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
pkgs=(cmake make g++ g++-mingw-w64-i686-posix googletest wine wine32:i386 xvfb xauth
      xsltproc python3 x11-utils dpkg-dev clang libclang-rt-14-dev chromium time curl
      openssl osslsigncode nsis)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# irrXML ships inside the Irrlicht engine's source package; it is compiled from
# there and never kept in this repository.
irr="$here/build/third_party"
if ! ls "$irr"/irrlicht-*/source/Irrlicht/irrXML.cpp >/dev/null 2>&1; then
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
      sed 's/^Types: deb$/Types: deb-src/' "$src" > /etc/apt/sources.list.d/quillmarrow-src.sources
    else
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/quillmarrow-src.list
    fi
    apt-get update -qq
  fi
  mkdir -p "$irr"
  (cd "$irr" && apt-get source -qq --download-only irrlicht >/dev/null 2>&1 || apt-get source -qq --download-only irrlicht)
  (cd "$irr" && for d in *.dsc; do dpkg-source -x --no-check "$d" >/dev/null 2>&1 || true; done)
  ls "$irr"/irrlicht-*/source/Irrlicht/irrXML.cpp >/dev/null
fi
