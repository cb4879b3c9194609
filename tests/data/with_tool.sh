#!/bin/sh
# with_tool.sh TOOL DEBIAN-PACKAGE [ARG...] - runs TOOL ARG..., or fails
# naming the package to install when TOOL is missing.
set -eu
tool=$1 package=$2
shift 2
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is missing; install the Debian package $package" >&2
    exit 1
fi
exec "$tool" "$@"
