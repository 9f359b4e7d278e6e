#!/usr/bin/env bash
# An install into a temporary prefix, moved elsewhere afterwards: a C program built with
# find_package and another with pkg-config read the example dictionary through the flat
# interface; every installed program answers --help and --version without a display.
#   check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR SANITIZE(ON|OFF)
set -euo pipefail
build=$1 src=$2 work=$3 sanitize=$4
rm -rf "$work"
mkdir -p "$work/config"
export ZELKO_CONFIG_DIR="$work/config"
flags=""
if [ "$sanitize" = ON ]; then flags="-fsanitize=address,undefined"; fi

cmake --install "$build" --prefix "$work/installed" >"$work/install.log"
mv "$work/installed" "$work/moved"
prefix="$work/moved"
pcdir=$(dirname "$(find "$prefix" -name zelkoctl.pc)")
example="$src/examples/flat-api/shop_flat_api.c"

cmake -S "$src/testing/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$flags" -DEXAMPLE_SOURCE="$example" >"$work/consumer.log"
cmake --build "$work/consumer" >>"$work/consumer.log"

export PKG_CONFIG_PATH="$pcdir"
libdir=$(pkg-config --variable=libdir zelkoctl)
# shellcheck disable=SC2046,SC2086
cc $flags -o "$work/shop-flat-api-pc" "$example" $(pkg-config --cflags --libs zelkoctl) \
  -Wl,-rpath,"$libdir"
[ "$(pkg-config --print-requires zelkoctl | tr '\n' ' ')" = "dictio wbtrv32 " ] ||
  { echo "zelkoctl.pc requires: $(pkg-config --print-requires zelkoctl)"; exit 1; }

for program in "$work/consumer/shop-flat-api" "$work/shop-flat-api-pc"; do
  rm -rf "$work/shop"
  mkdir "$work/shop"
  cp "$src"/examples/shop/*.DDF "$work/shop/"
  "$program" "$work/shop" >"$work/output.txt"
  diff -u "$src/examples/flat-api/expected_output.txt" "$work/output.txt"
done

for name in zelko btrcheck btrimport btrcopy dictedit zelkoform; do
  program="$prefix/bin/$name"
  [ -x "$program" ] || continue
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help >"$work/help.txt"
  grep -q "usage: $name" "$work/help.txt" || { echo "$name --help: no usage"; exit 1; }
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)
  [ "$version" = "$name 3.0.0" ] || { echo "$name --version: $version"; exit 1; }
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --no-such-option \
    >/dev/null 2>&1
  code=$?
  set -e
  [ "$code" = 2 ] || { echo "$name --no-such-option: exit $code"; exit 1; }
done
for name in zelkoform dictedit; do
  [ -x "$prefix/bin/$name" ] || continue
  set +e
  message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$name" \
    "$src/examples/shop/Customer.frm" 2>&1)
  code=$?
  set -e
  [ "$code" = 1 ] && [ "$(echo "$message" | wc -l)" = 1 ] &&
    echo "$message" | grep -q "QT_QPA_PLATFORM=offscreen" ||
    { echo "$name without a display: exit $code: $message"; exit 1; }
done
echo "install checked"
