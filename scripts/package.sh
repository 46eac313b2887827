#!/usr/bin/env bash
# Builds Brevant's Debian package into build-deb/package/ (or $BREVANT_DEB_BUILD_DIR/package/) with
# Debian's hardening flags, and checks it with lintian where lintian is installed.
#   --install-check  (root) also installs the package, runs the installed programs' --version,
#                    purges the package and checks that it left nothing behind.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_DEB_BUILD_DIR:-$root/build-deb}
bash "$root/scripts/deps.sh"

# Debian's flags, all hardening included; passed explicitly, as CMake reads the environment's only
# at the first configure.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# A system package: /usr, with its configuration files in /etc.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DBREVANT_BUILD_TESTS=OFF -DBREVANT_BUILD_BENCHMARKS=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j2
rm -f "$build"/package/brevant_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/package/brevant_*.deb)
echo "Package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

if command -v lintian > /dev/null; then
    lintian --fail-on error,warning --display-info "$deb"
    echo "lintian: no errors, no warnings"
else
    echo "lintian not installed: not checked"
fi

if [ "${1:-}" = --install-check ]; then
    [ "$(id -u)" -eq 0 ] || { echo "--install-check needs root" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb"
    for program in brevant brevant-drill halvic-sim $(dpkg -L brevant | grep '/close.exe$'); do
        "$program" --version
    done
    brevant-drill --summary /usr/share/doc/brevant/drills/outage-low-battery.txt | tail -n 1
    files=$(dpkg -L brevant | grep -v '^/\.$')
    dpkg --purge brevant
    left=""
    for f in $files; do
        if [ -e "$f" ] && ! [ -d "$f" ]; then left="$left $f"; fi
    done
    [ -z "$left" ] || { echo "left behind after purge:$left" >&2; exit 1; }
    echo "installed, ran and purged cleanly"
fi
