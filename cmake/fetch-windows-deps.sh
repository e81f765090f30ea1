#!/usr/bin/env bash
# Puts the header-only libraries of the Windows build into
# BUILD/windows-deps/include, for cmake/windows.cmake:
# - CLI11, nlohmann-json and Eigen: links to their own folders of Debian's
#   headers (libcli11-dev, nlohmann-json3-dev, libeigen3-dev), never to
#   /usr/include as a whole;
# - cpp-httplib: the single header from Debian's source package of it, since
#   the binary package splits it into a header and a compiled library.
# A set-up step, as apt-get is: it reaches the Debian archives that apt
# already uses, and writes only under BUILD.
#
#   cmake/fetch-windows-deps.sh build-windows
set -euo pipefail
build=${1:?usage: cmake/fetch-windows-deps.sh BUILD_DIR}
deps=$(realpath -m "$build/windows-deps")
mkdir -p "$deps/include"

for dir in /usr/include/CLI /usr/include/nlohmann /usr/include/eigen3/Eigen; do
  if [ ! -d "$dir" ]; then
    echo "$dir is missing: apt-get install libcli11-dev nlohmann-json3-dev libeigen3-dev" >&2
    exit 1
  fi
  ln -sfn "$dir" "$deps/include/$(basename "$dir")"
done

if [ -f "$deps/include/httplib.h" ]; then
  exit 0
fi
if ! command -v dpkg-source >/dev/null; then
  echo "dpkg-source is missing: apt-get install dpkg-dev" >&2
  exit 1
fi
apt=$deps/apt
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/source"
# A deb-src line for each Debian archive that apt takes packages from, in a
# configuration of its own: the machine's stays as it is.
apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' 'Origin: Debian' |
  sort -u | while read -r uri release component; do
    echo "deb-src $uri $release $component"
  done >"$apt/sources.list"
if [ ! -s "$apt/sources.list" ]; then
  echo "apt knows no Debian archive yet: run apt-get update first" >&2
  exit 1
fi
opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
      -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User="$(id -un)")
apt-get "${opts[@]}" -qq update
# The version the Linux build uses (libcpp-httplib-dev) while the archive
# still has it, so that both builds serve with the same code.
version=$(dpkg-query -W -f '${Version}' libcpp-httplib-dev 2>/dev/null || true)
cd "$apt/source"
if [ -z "$version" ] || ! apt-get "${opts[@]}" -qq source "cpp-httplib=$version"; then
  apt-get "${opts[@]}" -qq source cpp-httplib
fi
cp cpp-httplib-*/httplib.h "$deps/include/httplib.h"
echo "cpp-httplib $(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$deps/include/httplib.h") in $deps/include"
