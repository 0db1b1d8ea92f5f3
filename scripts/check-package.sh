#!/usr/bin/env bash
# Checks the Debian package scripts/package.sh made (or the .deb given):
# its file list and fields, the desktop entry, the MIME type, the icons and
# the manual pages, lintian, and the installed programs, first unpacked into
# a scratch folder and then, when run as root, really installed with apt-get
# and removed again. Exit status 0 when every check passed, 1 otherwise.
#   scripts/check-package.sh [FILE.deb]
set -euo pipefail
deb=${1:-}
if [ -n "$deb" ] && [ -f "$deb" ]; then
    deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb") # before leaving the caller's folder
fi
cd "$(dirname "$0")/.."

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
step() { echo "== $*"; }

if [ -z "$deb" ]; then
    for candidate in build-package/ktmotor_*.deb; do # package.sh leaves just one
        [ -f "$candidate" ] && deb=$candidate
    done
fi
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "check-package: ${1:-no .deb in build-package/}: not found; run scripts/package.sh first" >&2
    exit 1
fi
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
for tool in dpkg-deb desktop-file-validate update-mime-database lintian file man; do
    command -v "$tool" >/dev/null || {
        echo "check-package: $tool is missing; run scripts/setup.sh package" >&2
        exit 1
    }
done

version=$(sed -nE 's/^project\(KtMotor VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
step "$deb (version $version, $arch)"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ktmotor-package.XXXXXX")
installed=0
cleanup() {
    if [ "$installed" -eq 1 ]; then
        echo "== removing the installed package"
        dpkg -r ktmotor >/dev/null || echo "check-package: dpkg -r ktmotor failed" >&2
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

step "fields"
[ "$(basename "$deb")" = "ktmotor_${version}_${arch}.deb" ] ||
    fail "the file is named $(basename "$deb"), not ktmotor_${version}_${arch}.deb"
[ "$(dpkg-deb -f "$deb" Package)" = ktmotor ] || fail "Package is not ktmotor"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed -E 's/ *\([^)]*\)//g; s/ *[,|] */\n/g' <<<"$depends")
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6; do
    grep -qxF "$library" <<<"$names" || fail "Depends lacks $library"
done

step "files"
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/list"
expected=(
    /usr/bin/ktmotor
    /usr/bin/ktmotor-cli
    /usr/share/applications/ktmotor.desktop
    /usr/share/mime/packages/ktmotor.xml
    /usr/share/icons/hicolor/scalable/apps/ktmotor.svg
    /usr/share/man/man1/ktmotor.1.gz
    /usr/share/man/man1/ktmotor-cli.1.gz
    /usr/share/ktmotor/examples/Blink.KtVbM
    /usr/share/doc/ktmotor/copyright
    /usr/share/doc/ktmotor/changelog.gz
)
for size in 16 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/ktmotor.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$scratch/list" || fail "the package lacks $path"
done
echo "${#expected[@]} expected files present"

root=$scratch/root
dpkg-deb -x "$deb" "$root"

step "desktop entry, MIME type, icons, manual pages, changelog"
desktop-file-validate "$root/usr/share/applications/ktmotor.desktop" ||
    fail "desktop-file-validate found problems"
grep -qxF 'Exec=ktmotor %f' "$root/usr/share/applications/ktmotor.desktop" ||
    fail "the desktop entry does not start 'ktmotor %f'"
mkdir -p "$scratch/mime/packages"
cp "$root/usr/share/mime/packages/ktmotor.xml" "$scratch/mime/packages/"
if PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$scratch/mime" >"$scratch/mime.log" 2>&1; then
    grep -q '^[0-9]*:application/x-ktmotor-program:\*\.KtVbM:cs' "$scratch/mime/globs2" ||
        fail "the MIME type has no case-sensitive *.KtVbM glob"
    grep -q '^[0-9]*:application/x-ktmotor-program:\*\.ktvbm$' "$scratch/mime/globs2" ||
        fail "the MIME type has no case-insensitive *.ktvbm glob"
else
    cat "$scratch/mime.log" >&2
    fail "update-mime-database refused ktmotor.xml"
fi
for size in 16 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/ktmotor.png
    file -b "$png" | grep -q "PNG image data, $size x $size," ||
        fail "the ${size}x${size} icon is $(file -b "$png")"
done
for page in ktmotor ktmotor-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) || fail "man cannot format $page.1"
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done
changelog_version=$(gzip -dc "$root/usr/share/doc/ktmotor/changelog.gz" |
    sed -nE '1s/^ktmotor \(([^)]*)\).*/\1/p')
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's newest entry is '$changelog_version', not $version: add an entry to packaging/changelog"

step "lintian"
# Everything is shown, down to pedantic hints; only errors fail.
status=0
lintian --fail-on error --display-info --pedantic --show-overrides "$deb" \
    >"$scratch/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$scratch/lintian.log" || echo "(no tags)"
[ "$status" -eq 0 ] || fail "lintian reports errors (exit status $status)"

# run_programs PREFIX: the programs under PREFIX/usr/bin on the installed
# example.
run_programs() {
    local prefix=$1 where=$2 out
    out=$("$prefix/usr/bin/ktmotor-cli" --version) || fail "$where: ktmotor-cli --version failed"
    [ "$out" = "ktmotor-cli $version" ] || fail "$where: ktmotor-cli --version says '$out'"
    out=$("$prefix/usr/bin/ktmotor-cli" compile "$prefix/usr/share/ktmotor/examples/Blink.KtVbM" \
        --image "$scratch/blink.bin") || fail "$where: ktmotor-cli compile failed: $out"
    [ "$out" = "Compiled Successfully." ] || fail "$where: ktmotor-cli compile says '$out'"
    [ "$(stat -c %s "$scratch/blink.bin" 2>/dev/null)" = 254 ] ||
        fail "$where: the compiled image is not 254 bytes"
    out=$(QT_QPA_PLATFORM=offscreen "$prefix/usr/bin/ktmotor" --version) ||
        fail "$where: ktmotor --version failed"
    [ "$out" = "KtMotor $version" ] || fail "$where: ktmotor --version says '$out'"
    echo "$where: ktmotor-cli --version, compile of the example, ktmotor --version: done"
}

step "unpacked into $root"
run_programs "$root" "unpacked"

step "installed with apt-get"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: not root (CI runs it as root)"
elif dpkg-query -W -f='${Status}' ktmotor 2>/dev/null | grep -q 'install ok installed'; then
    echo "skipped: ktmotor is installed on this machine already; it is left as it is"
else
    installed=1
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" \
        >"$scratch/apt.log" 2>&1; then
        [ "$(command -v ktmotor-cli)" = /usr/bin/ktmotor-cli ] ||
            fail "ktmotor-cli is not found as /usr/bin/ktmotor-cli on PATH"
        run_programs "" "installed"
        man -w ktmotor-cli >/dev/null 2>&1 || fail "man does not find ktmotor-cli"
        # The MIME and desktop databases are brought up to date by the
        # triggers of shared-mime-info and desktop-file-utils.
        grep -q 'application/x-ktmotor-program:\*\.KtVbM' /usr/share/mime/globs2 ||
            fail "the system's MIME database does not know *.KtVbM"
        grep -q '^application/x-ktmotor-program=.*ktmotor\.desktop' \
            /usr/share/applications/mimeinfo.cache ||
            fail "the desktop database does not open program files with ktmotor"
    else
        cat "$scratch/apt.log" >&2
        fail "apt-get install failed"
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "check-package: $failures check(s) failed" >&2
    exit 1
fi
echo "check-package: all checks passed"
