# Sourced by the e2e scripts, with the prefix base as $1.
# Every test run (all steps started by one CTest, or by one shell) gets its
# own prefix <base>-<pid of that parent> and its own persistent wineserver,
# so test runs going on at once in the same build tree never meet.
base=$1
prefix="$base-$PPID"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
. "$(dirname "$0")/../../common/netns.sh"

need_wine() {
    need_own_netns e2e
    if [ -z "${DISPLAY:-}" ]; then
        echo "e2e: no DISPLAY; run the end-to-end tests under xvfb-run -a" >&2
        exit 1
    fi
    if ! command -v wine >/dev/null 2>&1; then
        echo "e2e: wine is not installed (apt-get install wine wine64)" >&2
        exit 1
    fi
}
