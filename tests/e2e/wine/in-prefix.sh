#!/bin/sh
# Runs a Windows program in this test run's prefix (see common.sh):
#   in-prefix.sh <prefix base> <program.exe> [arguments...]
set -eu
. "$(dirname "$0")/common.sh"
shift
need_wine
if [ ! -d "$prefix/drive_c" ]; then
    echo "e2e: no prefix $prefix; the e2e.prefix_setup test makes it" >&2
    exit 1
fi
exec wine "$@"
