#!/bin/sh
# Fixture end: stops this run's wineserver and every Wine process in its prefix.
#   prefix-cleanup.sh <prefix base>
set -u
. "$(dirname "$0")/common.sh"
wineserver -k >/dev/null 2>&1 || true
