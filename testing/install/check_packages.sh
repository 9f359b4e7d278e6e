#!/usr/bin/env bash
# The Debian packages: built by CPack, extracted with dpkg-deb, their programs run from the
# extracted tree (they find the packaged libraries through their run path).
#   check_packages.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work/root" "$work/config"
export ZELKO_CONFIG_DIR="$work/config"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/packages" >"$work/cpack.log"
for package in libzelko3 libzelko-dev zelko-tools; do
  deb=$(ls "$work/packages/${package}_"*.deb)
  dpkg-deb -x "$deb" "$work/root"
done
for name in zelko btrcheck btrimport btrcopy dictedit zelkoform; do
  program="$work/root/usr/bin/$name"
  [ -x "$program" ] || { echo "zelko-tools lacks $name"; exit 1; }
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LD_LIBRARY_PATH= "$program" \
    --version)
  [ "$version" = "$name 3.0.0" ] || { echo "$name --version: $version"; exit 1; }
  [ -f "$work/root/usr/share/man/man1/$name.1" ] || { echo "no man page for $name"; exit 1; }
done
for file in usr/include/zelkoctl/zelkoapi.h usr/lib/pkgconfig/zelkoctl.pc \
  usr/lib/cmake/Zelko/ZelkoConfig.cmake usr/share/applications/zelkoform.desktop \
  usr/share/applications/dictedit.desktop; do
  [ -f "$work/root/$file" ] || { echo "no $file in the packages"; exit 1; }
done
# The library exports only its C interface.
if nm -D --defined-only "$work/root/usr/lib/libzelkoctl.so.3" | grep -q " _Z"; then
  echo "libzelkoctl exports C++ symbols"
  exit 1
fi
echo "packages checked"
