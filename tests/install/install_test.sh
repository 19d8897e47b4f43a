#!/usr/bin/env bash
# An installation as its users meet it.
#   developer: installed into a DESTDIR, the README's example is built with
#     pkg-config and with find_package, and makes a backup and a restore
#     through the installed module; the installed vdbackup makes one too,
#     and the module finds it when it is not on PATH.
#   package: the Debian package's fields and files, and its installation
#     into a throwaway root.
# usage: install_test.sh developer|package BUILD_DIR SOURCE_DIR
set -euo pipefail
part=$1 build=$2 source=$3
work=$(mktemp -d /tmp/vardobk-install.XXXXXX)
[ -d "$work" ] || exit 1
trap 'rm -rf -- "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# command with the environment of a host: a bare PATH, the host profile's
# parameters and any KEY=VALUE given before the command.
as_host() {
  python3 - "$@" <<'PY'
import os, sys, xml.etree.ElementTree as ET
profile, args = sys.argv[1], sys.argv[2:]
env = {"PATH": "/usr/bin:/bin", "HOME": os.environ.get("HOME", "/root")}
for param in ET.parse(profile).getroot():
    env[param.get("name")] = param.get("node_value", "")
while args and "=" in args[0] and not args[0].startswith("/"):
    key, value = args.pop(0).split("=", 1)
    env[key] = value
os.execve(args[0], args, env)
PY
}

developer() {
  local prefix=$work/root/usr/local
  DESTDIR=$work/root cmake --install "$build" --prefix /usr/local >/dev/null
  awk '/^## Use it from your program/{inside=1} inside && /^```c$/{take=1; next} take && /^```$/{exit} take' \
    "$source/README.md" >"$work/example.c"
  [ "$(wc -l <"$work/example.c")" -le 24 ] || fail "the README's example is no longer short"
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -Werror -o "$work/example_pc" "$work/example.c" \
    $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs vardobk)
  mkdir "$work/cmake"
  cat >"$work/cmake/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(example C)
find_package(vardobk 0.1 REQUIRED)
add_executable(example_cmake $work/example.c)
target_link_libraries(example_cmake PRIVATE vardobk::vardobk)
file(WRITE \${CMAKE_BINARY_DIR}/module.txt "\${VARDOBK_MODULE}")
CMAKE
  cmake -S "$work/cmake" -B "$work/cmake/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/cmake/build" >/dev/null
  [ "$(cat "$work/cmake/build/module.txt")" = "$prefix/lib/vardobk/libvardobk.so" ] || fail "VARDOBK_MODULE"

  "$prefix/bin/vdbackup" --version | grep -qx "vdbackup [0-9.]*" || fail "vdbackup --version"

  local host=$work/host profile=$work/host/vdbackup_host.xml
  env -i PATH=/usr/bin:/bin "$prefix/lib/vardobk/vardobk_demo_data" "$host" >/dev/null
  local table
  table=$(find "$host" -name '*.dbf' | sort | head -1)
  cp "$table" "$work/table.before"
  (cd "$host" && as_host "$profile" batch=1 "$work/example_pc" 1) || fail "backup through the module"
  local archive
  archive=$(find "$host" -name '*.7z' | head -1)
  [ -n "$archive" ] || fail "no archive"
  echo damaged >"$table"
  (cd "$host" && as_host "$profile" batch=1 batch_archive="$archive" "$work/cmake/build/example_cmake" 2) ||
    fail "restore through the module"
  cmp -s "$table" "$work/table.before" || fail "the table was not restored"
  (cd "$host" && env -i PATH="/usr/bin:/bin:$prefix/bin" vdbackup /B /T=7 /C=installed) || fail "vdbackup /B"
  [ "$(find "$host" -name '*.7z' | wc -l)" -eq 2 ] || fail "vdbackup made no archive"
  # The end of work hands over to the installed vdbackup, found from the
  # module's own folder although PATH does not name it.
  (cd "$host" && as_host "$profile" "$work/example_pc" 4) || fail "the module did not find the installed vdbackup"
  for _ in $(seq 100); do pgrep -f "$prefix/bin/vdbackup" >/dev/null || break; sleep 0.1; done
}

package() {
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
  local deb
  deb=$(find "$work/pkg" -maxdepth 1 -name '*.deb' | head -1)
  [ -n "$deb" ] || fail "no package"
  local info contents
  info=$(dpkg-deb --info "$deb")
  contents=$(dpkg-deb --contents "$deb")
  for field in "Package: vardobk" "Version: 0.1.0" "Suggests: rar"; do
    grep -qF "$field" <<<"$info" || fail "no '$field' in the package's fields"
  done
  local depends
  depends=$(dpkg-deb --field "$deb" Depends)
  for need in "7zip | p7zip-full" cron xdg-utils libc6 libcurl libqt6widgets6 libpugixml; do
    grep -qF "$need" <<<"$depends" || fail "Depends lacks $need: $depends"
  done
  for file in ./usr/lib/vardobk/libvardobk.so ./usr/lib/vardobk/libwlink3.so ./usr/bin/vdbackup \
              ./usr/include/vardobk/vardobk.h ./usr/lib/pkgconfig/vardobk.pc \
              ./usr/lib/cmake/vardobk/vardobkConfig.cmake ./usr/share/doc/vardobk/README.md \
              ./usr/share/man/man1/vdbackup.1; do
    grep -qE " $file\$" <<<"$contents" || fail "the package lacks $file"
  done
  # A root of its own, with an empty package database; the maintainer
  # scripts' ldconfig is one that leaves this machine's cache alone.
  local root=$work/dpkg-root
  mkdir "$work/bin" && printf '#!/bin/sh\nexit 0\n' >"$work/bin/ldconfig" && chmod +x "$work/bin/ldconfig"
  export PATH="$work/bin:$PATH"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
  touch "$root/var/lib/dpkg/status"
  dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -i "$deb" >/dev/null
  [ -x "$root/usr/bin/vdbackup" ] || fail "vdbackup not installed"
  dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -r vardobk >/dev/null
  [ ! -e "$root/usr/lib/vardobk/libvardobk.so" ] || fail "removing the package left the module"
}

"$part"
echo "ok: $part"
