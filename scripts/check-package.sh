#!/bin/sh
# Checks what the installed copy is made of, without touching the system: the desktop entry, the
# software-centre data and the manual pages validate; both programs answer --help, --version and
# a wrong option without opening a window; the Debian package builds, finds its dependencies and
# holds exactly the files `cmake --install` puts in place. Usage: check-package.sh BUILD_DIR
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-package: $*" >&2
    exit 1
}

desktop-file-validate "$src/app/plumtone4.desktop"
appstreamcli validate --no-net --pedantic "$build/data/io.github.plumtone4.metainfo.xml"
for page in "$build"/data/*.1; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" > /dev/null 2> "$work/man.err"
    [ ! -s "$work/man.err" ] || fail "$(basename "$page"): $(cat "$work/man.err")"
done

dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr > /dev/null
bin=$dest/usr/bin
# Every option the programs list in their usage is in their manual page.
for program in pt4 plumtone4; do
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$program" --help > "$work/help" ||
        fail "$program --help failed"
    grep -q "^$program [0-9]" "$work/help" || fail "$program --help gives no version"
    for option in $(grep -o -- '--[a-z0-9-]*' "$work/help" | sort -u); do
        grep -q -- "$(echo "$option" | sed 's/-/\\\\-/g')" "$src/data/$program.1.in" ||
            fail "$option of $program is missing from $program.1"
    done
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --no-such-option > /dev/null 2> "$work/err" || status=$?
    [ "$status" = 2 ] && grep -q usage "$work/err" || fail "$program: a wrong option gives status $status"
done
[ "$(env -u DISPLAY "$bin/plumtone4" -platform offscreen --version)" = "$("$bin/pt4" --version | sed s/pt4/plumtone4/)" ] ||
    fail "plumtone4 --version after a Qt option"

cpack -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" > /dev/null
deb=$(echo "$work"/package/plumtone4_*.deb)
[ -f "$deb" ] || fail "no package was made"
version=$(dpkg-deb -f "$deb" Version)
zcat "$dest/usr/share/doc/plumtone4/changelog.gz" | head -n 1 | grep -q "^plumtone4 ($version)" ||
    fail "the change log's last entry is not version $version"
# dpkg-shlibdeps missing or failing leaves the package without its libraries.
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no dependencies found: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q libcurl4 || fail "the HTTP client library is not a dependency"
dpkg-deb -f "$deb" Depends | grep -q libpulse0 || fail "the sound server's client library is not a dependency"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort > "$work/in-package"
(cd "$dest" && find . ! -type d | sed 's/^\.//' | sort) > "$work/installed"
diff -u "$work/installed" "$work/in-package" || fail "the package does not hold what cmake --install installs"
echo "check-package: $(wc -l < "$work/in-package") files in $(basename "$deb"), all checks passed"
