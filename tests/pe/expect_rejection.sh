#!/bin/sh
# Passes only when CHECK rejects EXE and its report contains every TEXT.
# Usage: expect_rejection.sh CHECK EXE TEXT...
set -u
check=$1
exe=$2
shift 2
if report=$("$check" "$exe" 2>&1); then
    echo "$check accepted $exe:"
    echo "$report"
    exit 1
fi
echo "$report"
for text in "$@"; do
    case $report in
        *"$text"*) ;;
        *) echo "missing from the report: $text"; exit 1 ;;
    esac
done
