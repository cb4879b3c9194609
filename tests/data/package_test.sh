#!/bin/sh
# package_test.sh CPACK BUILD-DIR VERSION - packs the built tree as a Debian
# package into a temporary folder, unpacks it there with dpkg-deb -x (nothing
# is installed on the machine) and checks what an operator would get: the
# control fields, computed dependencies, every installed file, programs that
# run and tell the project's version, manual pages that render, desktop
# files that validate as installed, the terms and release history Debian
# wants, and no complaint of Debian's package checker.
set -eu
cpack=$1 build=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || fail "$1 is missing; install the Debian package $2"; }
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need appstreamcli appstream
need desktop-file-validate desktop-file-utils
need man man-db
need readelf binutils
need lintian lintian

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Staging and output go to the temporary folder, so a run cannot clash with
# scripts/package or a parallel test.
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
deb=$tmp/out/calvero_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$tmp/out")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = calvero ] || fail "package name '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "package version '$(field Version)', project $version"
[ "$(field Section)" = science ] || fail "section '$(field Section)'"
case "$(field Maintainer)" in *" <"*@*">") ;; *) fail "maintainer '$(field Maintainer)' lacks an address" ;; esac
depends=$(field Depends)
depend_names=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    echo "$depend_names" | grep -qxF "$lib" || fail "Depends lacks $lib: $depends"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
icons=$usr/share/icons/hicolor
expected="bin/calvero bin/calveroctl bin/calvero-sim
share/applications/calvero.desktop share/metainfo/calvero.metainfo.xml
share/mime/packages/calvero.xml share/icons/hicolor/scalable/apps/calvero.svg
share/doc/calvero/copyright share/doc/calvero/changelog.gz"
for size in 16 22 24 32 48 64 128 256; do
    expected="$expected share/icons/hicolor/${size}x$size/apps/calvero.png"
done
for program in calvero calveroctl calvero-sim; do
    expected="$expected share/man/man1/$program.1.gz"
done
for f in $expected; do [ -f "$usr/$f" ] || fail "the package lacks /usr/$f"; done

for program in calvero calveroctl calvero-sim; do
    [ -x "$usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
    ! readelf -S "$usr/bin/$program" | grep -q '\.debug_info' || fail "/usr/bin/$program is not stripped"
    out=$(QT_QPA_PLATFORM=offscreen "$usr/bin/$program" --version) || fail "$program --version failed"
    [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
    page=$(MANWIDTH=80 man -l "$usr/share/man/man1/$program.1.gz" 2>"$tmp/man.err") ||
        fail "the manual page of $program does not render: $(cat "$tmp/man.err")"
    # A synopsis shows that help2man read the program's usage lines.
    for section in NAME SYNOPSIS DESCRIPTION "SEE ALSO"; do
        echo "$page" | grep -qx "$section" || fail "the manual page of $program lacks $section"
    done
done

# Machine-readable terms: all rights reserved, no licence made up.
doc=$usr/share/doc/calvero
head -n 1 "$doc/copyright" | grep -qxF \
    'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
grep -qxF 'Upstream-Name: Calvero' "$doc/copyright" || fail "the copyright file lacks the upstream name"
grep -qxF 'License: LicenseRef-Proprietary' "$doc/copyright" || fail "the copyright file names another licence"
# A version bump without a release entry would ship an outdated history.
gzip -dc "$doc/changelog.gz" >"$tmp/changelog" || fail "changelog.gz does not decompress"
logged=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version) || fail "changelog.gz does not parse"
[ "$logged" = "$version" ] || fail "the newest changelog entry is $logged, the package $version"
# Errors and warnings only; what is left is information (see the overrides).
lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log" >&2; fail "lintian complains about the package"; }

desktop-file-validate "$usr/share/applications/calvero.desktop" || fail "installed desktop entry"
appstreamcli validate-tree --no-net --override=cid-desktopapp-is-not-rdns=info "$root" ||
    fail "the installed tree does not validate"
echo "ok: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB, Depends: $depends"
