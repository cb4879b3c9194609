#!/bin/sh
# mime_type_test.sh MIME-XML DESKTOP-ENTRY METAINFO - builds a private shared
# MIME database from the package's MIME type alone and checks that it maps
# *.tvr to a sub-class of XML named "Calvero chart document", and that the
# desktop entry and the metainfo claim exactly that type.
set -eu
mime_xml=$1 desktop=$2 metainfo=$3
command -v update-mime-database >/dev/null 2>&1 || {
    echo "FAIL: update-mime-database is missing; install the Debian package shared-mime-info" >&2
    exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime_xml")
[ "$(echo "$type" | wc -l)" = 1 ] && [ -n "$type" ] || fail "expected one MIME type in $mime_xml, got '$type'"

db=$tmp/share/mime
mkdir -p "$db/packages"
cp "$mime_xml" "$db/packages/calvero.xml"
# In the search path, so that the tool has nothing to warn about but the file.
XDG_DATA_HOME=$tmp/share XDG_DATA_DIRS=$tmp/share update-mime-database "$db" 2>"$tmp/errors" ||
    fail "update-mime-database: $(cat "$tmp/errors")"
[ ! -s "$tmp/errors" ] || fail "update-mime-database complains: $(cat "$tmp/errors")"

grep -qx "[0-9]*:$type:\*\.tvr" "$db/globs2" || fail "*.tvr does not map to $type: $(cat "$db/globs2")"
grep -qx "$type application/xml" "$db/subclasses" || fail "$type is no sub-class of application/xml"
grep -q "<comment>Calvero chart document</comment>" "$db/$type.xml" || fail "$type lacks its comment"

mimetypes=$(sed -n 's/^MimeType=//p' "$desktop")
[ "$mimetypes" = "$type;" ] || fail "the desktop entry opens '$mimetypes', not '$type;'"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "the metainfo does not provide $type"
echo "ok: *.tvr is $type, a sub-class of application/xml, opened by $(basename "$desktop")"
