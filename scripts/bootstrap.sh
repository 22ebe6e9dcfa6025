#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, and unpacks
# the irrXML sources into build/third_party. Quick when everything is already
# there. Installing needs root: run as root, or as a user with sudo rights.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

# Runs a command as root: directly when this is root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "bootstrap: installing needs root, and sudo is not installed; run this as root" >&2
    exit 1
  fi
}
noted=""
need_root_note() {
  if [ "$(id -u)" -ne 0 ] && [ -z "$noted" ]; then
    echo "bootstrap: installing needs root rights; using sudo (it may ask for your password)"
    noted=yes
  fi
}

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# Major version of the installed clang, or else of the one the clang package
# would install; empty when neither is known. Never fails: apt-cache fails
# for a package that package lists not yet fetched don't name, and under
# pipefail that would end the whole script without a word.
clang_major() {
  if command -v clang >/dev/null 2>&1; then
    { clang --version || true; } | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n1
  else
    { apt-cache depends clang 2>/dev/null || true; } |
      sed -n 's/.*Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n1
  fi
}

# wine64 and the x86_64 compilers: on a machine whose kernel can't run 32-bit
# programs, the tests run a 64-bit build under 64-bit Wine. ccache: a fresh
# clone compiles only what no clone on this machine has compiled before.
pkgs=(cmake make ccache g++ g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest
      wine wine32:i386 wine64 xvfb xauth
      xsltproc python3 x11-utils dpkg-dev clang chromium time curl
      openssl osslsigncode nsis)
need=()
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
# The fuzz build links clang's sanitizer runtime, which comes in a package
# per clang version.
rt=""
major=$(clang_major)
[ -n "$major" ] && rt="libclang-rt-$major-dev"

if [ ${#need[@]} -gt 0 ] || [ -z "$rt" ] || ! have "$rt"; then
  need_root_note
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "bootstrap: enabling the i386 architecture (Wine runs the 32-bit programs)"
    as_root dpkg --add-architecture i386
  fi
  echo "bootstrap: updating the package lists"
  as_root apt-get update -qq
  if [ -z "$rt" ]; then
    major=$(clang_major)
    [ -n "$major" ] || { echo "bootstrap: no clang package found" >&2; exit 1; }
    rt="libclang-rt-$major-dev"
  fi
  have "$rt" || need+=("$rt")
  echo "bootstrap: installing ${need[*]} (this takes a few minutes)"
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# irrXML ships inside the Irrlicht engine's source package; it is compiled from
# there and never kept in this repository. It is unpacked into a scratch folder
# and moved into place whole, with a mark: a folder without the mark is what an
# interrupted run left, and is unpacked again.
irr="$here/build/third_party"
mark=.qm-unpacked
add_source_list() {
  grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && return 0
  grep -qs '^deb-src' /etc/apt/sources.list && return 0
  local src=/etc/apt/sources.list.d/debian.sources list
  need_root_note
  if [ -f "$src" ]; then
    list=/etc/apt/sources.list.d/quillmarrow-src.sources
    echo "bootstrap: adding $list (the deb-src twin of $src)"
    sed 's/^Types: deb$/Types: deb-src/' "$src" | as_root tee "$list" >/dev/null
  else
    list=/etc/apt/sources.list.d/quillmarrow-src.list
    echo "bootstrap: adding $list (the deb-src twins of the deb lines of /etc/apt/sources.list)"
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee "$list" >/dev/null
  fi
  echo "           so that apt-get source can fetch the Irrlicht sources that irrXML is built from"
  as_root apt-get update -qq
}
fetch_sources() {
  add_source_list
  echo "bootstrap: fetching the Irrlicht source package into $irr"
  (cd "$irr" && { apt-get source -qq --download-only irrlicht >/dev/null 2>&1 ||
                  apt-get source -qq --download-only irrlicht; })
}
unpack_sources() {
  local scratch dsc unpacked
  scratch=$(mktemp -d "$irr/unpack.XXXXXX")
  dsc=$(ls "$irr"/irrlicht_*.dsc 2>/dev/null | head -n1)
  if [ -z "$dsc" ] || ! (cd "$scratch" && dpkg-source -x --no-check "$dsc" >/dev/null 2>&1); then
    rm -rf "$scratch"
    return 1
  fi
  unpacked=$(ls -d "$scratch"/irrlicht-*/ | head -n1)
  touch "$unpacked/$mark"
  mv "$unpacked" "$irr/"
  rm -rf "$scratch"
}
if ! ls "$irr"/irrlicht-*/"$mark" >/dev/null 2>&1; then
  mkdir -p "$irr"
  rm -rf "$irr"/irrlicht-*/ "$irr"/unpack.*
  echo "bootstrap: unpacking the irrXML sources into $irr"
  if ! unpack_sources; then
    # No source package here yet, or an incomplete download: fetch it anew.
    rm -f "$irr"/irrlicht_*
    fetch_sources
    unpack_sources || { echo "bootstrap: could not unpack the Irrlicht sources in $irr" >&2; exit 1; }
  fi
  ls "$irr"/irrlicht-*/source/Irrlicht/irrXML.cpp >/dev/null
fi
