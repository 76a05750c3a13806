#!/bin/bash
# Speed and size of MOLRAvin.exe under Wine, against floor programs:
#   bench/run.sh
# Launch path: hyperfine times "wine MOLRAvin.exe 10.0.0.1" (recorder as the
# browser) against floor_kernel32.exe and floor_user32.exe, which only start
# the same command. Window path: window_timer.exe times notice box -> OK ->
# window shown, against floor_dialog.exe, with OK pressed after a person's
# reaction time and at once. While Command1's check takes 3 s (the test DLLs
# answer no echo within its timeout), how long the window fails to answer.
# The click's time with four silent candidates (four LAN addresses, four .1
# servers, none answering), and the slowest WM_NULL while the save waits
# 800 ms for a held file; both also for a baseline build when one is given.
# Also the peak memory and the size.
#
# Environment (all optional):
#   MOLRA_BENCH_RUNS=60          hyperfine runs per program, in
#   MOLRA_BENCH_ROUNDS=6         rounds (each block after 3 warm-ups)
#   MOLRA_BENCH_WINDOW_RUNS=30   window runs per program (after 3 warm-ups)
#   MOLRA_BENCH_REACTION_MS=250  time from the notice seen to OK pressed
#   MOLRA_BENCH_CHECK_RUNS=5     checks timed (3 s each)
#   MOLRA_BENCH_BUILD=<folder>   build the windows preset there instead of build/windows
#   MOLRA_BENCH_FOUR_RUNS=3      clicks timed with four silent candidates (12 s each before
#                                the checks ran at once)
#   MOLRA_BENCH_SAVE_RUNS=5      saves timed while the old file is held 800 ms
#   MOLRA_BENCH_BASELINE=<commit>      also time those two with that commit, built from a
#                                      git worktree in build/bench/baseline-src
#   MOLRA_BENCH_BASELINE_EXE=<path>    or with that MOLRAvin.exe
#
# Results go to build/bench/results/<time>/; the summary also to stdout.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# No packet may leave: everything runs in a network namespace that holds only
# loopback, Xvfb included.
. tests/common/netns.sh
if ! only_loopback; then
    exec scripts/in-netns "$root/bench/run.sh" "$@"
fi
# Windows cannot be created without a display.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

runs=${MOLRA_BENCH_RUNS:-60}
rounds=${MOLRA_BENCH_ROUNDS:-6}
block=$(( (runs + rounds - 1) / rounds ))
runs=$((block * rounds))
window_runs=${MOLRA_BENCH_WINDOW_RUNS:-30}
check_runs=${MOLRA_BENCH_CHECK_RUNS:-5}
four_runs=${MOLRA_BENCH_FOUR_RUNS:-3}
save_runs=${MOLRA_BENCH_SAVE_RUNS:-5}
reaction_ms=${MOLRA_BENCH_REACTION_MS:-250}
program_build=${MOLRA_BENCH_BUILD:-build/windows}
case $program_build in /*) ;; *) program_build=$root/$program_build ;; esac
bench_build=build/bench
prefix=$root/$bench_build/prefix
results=$root/$bench_build/results/$(date +%Y%m%d-%H%M%S)
address=10.0.0.1
expected_command="\"C:\\bench\\recorder.exe\" -nomerge http://$address"

for tool in hyperfine wine wineserver wineboot xvfb-run /usr/bin/time x86_64-w64-mingw32-objdump; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done

echo "=== build"
if [ "$program_build" = "$root/build/windows" ]; then
    cmake --preset windows >/dev/null
else
    cmake --preset windows -B "$program_build" >/dev/null
fi
cmake --build "$program_build" -j2 --target MOLRAvin recorder shim_wsock32 shim_sensapi shim_iphlpapi >/dev/null
cmake -S bench -B "$bench_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$bench_build" -j2 >/dev/null
program=$program_build/MOLRAvin.exe
recorder=$program_build/tests/e2e/recorder.exe

# The baseline: an older commit's program, for "before and after" in one run.
baseline=${MOLRA_BENCH_BASELINE_EXE:-}
if [ -z "$baseline" ] && [ -n "${MOLRA_BENCH_BASELINE:-}" ]; then
    commit=$(git rev-parse --verify "${MOLRA_BENCH_BASELINE}^{commit}")
    source=$root/$bench_build/baseline-src
    if [ -e "$source/.git" ]; then
        git -C "$source" checkout -q --detach "$commit"
    else
        git worktree prune
        git worktree add -q --detach "$source" "$commit"
    fi
    echo "=== baseline ${MOLRA_BENCH_BASELINE} ($commit)"
    (cd "$source" && cmake --preset windows -B "$root/$bench_build/baseline-build" -DBUILD_TESTING=OFF >/dev/null)
    cmake --build "$root/$bench_build/baseline-build" -j2 --target MOLRAvin >/dev/null
    baseline=$root/$bench_build/baseline-build/MOLRAvin.exe
fi
if [ -n "$baseline" ] && [ ! -f "$baseline" ]; then
    echo "bench: no baseline program at $baseline" >&2
    exit 1
fi

# The kernel32 floor is only a floor if nothing else is linked.
imports=$(x86_64-w64-mingw32-objdump -p "$bench_build/floor_kernel32.exe" | sed -n 's/.*DLL Name: //p')
if [ "$imports" != KERNEL32.dll ]; then
    echo "bench: floor_kernel32.exe imports $imports" >&2
    exit 1
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset MOLRA_RECORD
# One server for the whole run; it also ends every process of the prefix left behind.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# A server (and its winedevice.exe, which sends the echoes) left from a run
# outside this namespace would serve this run too: end it first.
wineserver -k >/dev/null 2>&1 || true
echo "=== prefix $prefix"
if [ ! -f "$prefix/.bench-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
    wineboot -i </dev/null >/dev/null 2>&1
    # The recorder is the browser, version 11 (so "-nomerge"); no window
    # manager under Xvfb, so Wine must not wait for one; no crash dialog.
    cat >"$prefix/drive_c/bench.reg" <<'EOF'
REGEDIT4

[HKEY_CLASSES_ROOT\CLSID\{0002DF01-0000-0000-C000-000000000046}\LocalServer32]
@="\"C:\\bench\\recorder.exe\""

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer]
"Version"="11.0.9600.18376"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
EOF
    wine regedit /S 'C:\bench.reg' </dev/null >/dev/null 2>&1
    touch "$prefix/.bench-ready"
else
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
fi
bench=$prefix/drive_c/bench
mkdir -p "$bench/work" "$results"
cp -f "$program" "$recorder" "$bench_build"/floor_kernel32.exe "$bench_build"/floor_user32.exe \
    "$bench_build"/floor_dialog.exe "$bench_build"/window_timer.exe "$bench/"
# The launch path is timed with an argument, the window path without a shortcut file.
rm -f "$bench/work/MOLRAvin.url"
cd "$bench/work"

echo "=== the three start the same command"
for exe in MOLRAvin floor_kernel32 floor_user32; do
    rm -f "$bench/record.txt"
    MOLRA_RECORD='C:\bench\record.txt' wine "$bench/$exe.exe" "$address"
    for _ in $(seq 100); do
        grep -q '^end$' "$bench/record.txt" 2>/dev/null && break
        sleep 0.1
    done
    line=$(sed -n 's/^cmdline [0-9]*://p' "$bench/record.txt" 2>/dev/null || true)
    show=$(sed -n 's/^show [0-9]*://p' "$bench/record.txt" 2>/dev/null || true)
    echo "$exe: $line (show $show)"
    if [ "$line" != "$expected_command" ] || [ "$show" != 1 ]; then
        echo "bench: $exe did not start $expected_command with show state 1" >&2
        exit 1
    fi
done
rm -f "$bench/record.txt"

echo "=== DLLs each one loads (WINEDEBUG=+loaddll, its own process only)"
for exe in floor_kernel32 floor_user32 MOLRAvin; do
    WINEDEBUG=+pid,+loaddll wine "$bench/$exe.exe" "$address" 2>"$results/loaddll-$exe.txt" || true
    own=$(grep -m1 "Loaded L\"C:\\\\\\\\bench\\\\\\\\$exe.exe\"" "$results/loaddll-$exe.txt" | cut -d: -f1 || true)
    names=$(grep "^$own:.*trace:loaddll" "$results/loaddll-$exe.txt" |
        sed -n 's/.*Loaded L"\([^"]*\)".*/\1/p' | sed 's/.*\\//' | tr 'A-Z' 'a-z' | tr '\n' ' ' || true)
    echo "$exe: $names"
done
sleep 1

echo "=== launch path: hyperfine, $runs runs each in $rounds rounds"
# One hyperfine run, its commands in rounds of $block runs each, the order
# turning every round: the machine's load drifts, and blocks of one program
# after another would turn that drift into a difference between them.
names=(MOLRAvin floor_user32 floor_kernel32)
commands=()
for ((round = 0; round < rounds; round++)); do
    for ((i = 0; i < ${#names[@]}; i++)); do
        name=${names[(round + i) % ${#names[@]}]}
        commands+=(-n "$name" "wine $bench/$name.exe $address")
    done
done
hyperfine -N --warmup 3 --runs "$block" --style basic --export-json "$results/launch.json" \
    "${commands[@]}" >"$results/hyperfine.txt"

# From hyperfine's JSON: all run times of one name, in ms, and their median.
times_ms() {
    awk -v want="$1" '
        /"command":/ { name = $0; sub(/.*"command": "/, "", name); sub(/",?[[:space:]]*$/, "", name) }
        /"times": \[/ { inside = 1; next }
        inside && /\]/ { inside = 0; next }
        inside && name == want { value = $1; sub(/,$/, "", value); printf "%.3f\n", value * 1000 }
    ' "$results/launch.json"
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Processor time (user + system) per run, in ms: hyperfine gives each block's mean.
cpu_ms() {
    awk -v want="$1" '
        /"command":/ { name = $0; sub(/.*"command": "/, "", name); sub(/",?[[:space:]]*$/, "", name) }
        name == want && /"user":/ { v = $2; sub(/,$/, "", v); sum += v; n++ }
        name == want && /"system":/ { v = $2; sub(/,$/, "", v); sum += v }
        END { printf "%.1f", sum / n * 1000 }
    ' "$results/launch.json"
}
for name in "${names[@]}"; do times_ms "$name" >"$results/launch-$name.txt"; done
m_program=$(median <"$results/launch-MOLRAvin.txt")
m_user32=$(median <"$results/launch-floor_user32.txt")
m_kernel32=$(median <"$results/launch-floor_kernel32.txt")
c_program=$(cpu_ms MOLRAvin)
c_user32=$(cpu_ms floor_user32)
c_kernel32=$(cpu_ms floor_kernel32)
printf '%-16s %10s %10s\n' program "median ms" "cpu ms"
printf '%-16s %10.1f %10s\n' MOLRAvin "$m_program" "$c_program" floor_user32 "$m_user32" "$c_user32" \
    floor_kernel32 "$m_kernel32" "$c_kernel32"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
r_user32=$(ratio "$m_program" "$m_user32")
r_kernel32=$(ratio "$m_program" "$m_kernel32")

echo "=== launch path: peak memory (/usr/bin/time, maximum resident set of the wine process)"
peak_kib() {
    local values=() i
    for i in $(seq 9); do
        /usr/bin/time -f %M -o "$results/rss.txt" wine "$bench/$1.exe" "$address" >/dev/null 2>&1
        values+=("$(tail -n 1 "$results/rss.txt")")
    done
    printf '%s\n' "${values[@]}" | sort -n | sed -n 5p
    rm -f "$results/rss.txt"
}
p_program=$(peak_kib MOLRAvin)
p_user32=$(peak_kib floor_user32)
p_kernel32=$(peak_kib floor_kernel32)

echo "=== DLLs MOLRAvin.exe loads on the window path, up to OK (pressed after $reaction_ms ms) and after"
WINEDEBUG=+pid,+loaddll,+debugstr wine "$bench/window_timer.exe" --runs=1 --warmup=0 --reaction-ms="$reaction_ms" \
    --dir='C:\bench\work' MOLRAvin='C:\bench\MOLRAvin.exe' >/dev/null 2>"$results/loaddll-window.txt" || true
own=$(grep -m1 'Loaded L"C:\\\\bench\\\\MOLRAvin.exe"' "$results/loaddll-window.txt" | cut -d: -f1 || true)
awk -v own="$own" '
    /window_timer: OK pressed/ { after = 1 }
    index($0, own ":") == 1 && /trace:loaddll/ && match($0, /Loaded L"[^"]*"/) {
        name = tolower(substr($0, RSTART + 9, RLENGTH - 10)); sub(/.*\\/, "", name)
        if (after) late = late " " name; else early = early " " name
    }
    END { print "up to OK:" early; print "after OK:" late }
' "$results/loaddll-window.txt"

# A person needs at least a quarter of a second to see the notice and press
# OK (simple reaction time); the target is judged with that. A script that
# presses OK the moment the box is seen is timed too, and reported.
window_bench() {  # <reaction ms> <name of the result files>
    echo "=== window path: window_timer, $window_runs runs each, OK after $1 ms"
    wine "$bench/window_timer.exe" --runs="$window_runs" --warmup=3 --reaction-ms="$1" \
        --dir='C:\bench\work' --csv='C:\bench\window.csv' MOLRAvin='C:\bench\MOLRAvin.exe' \
        floor_dialog='C:\bench\floor_dialog.exe' | tr -d '\r' | tee "$results/$2.txt"
    mv "$bench/window.csv" "$results/$2.csv"
    if [ -e "$bench/work/MOLRAvin.url" ]; then
        echo "bench: the window runs left a shortcut file behind" >&2
        exit 1
    fi
}
window_bench "$reaction_ms" window
window_bench 0 window-instant
w_field() { awk -v name="$1" -v column="$2" '$1 == name { print $column }' "$results/${3:-window}.txt"; }
w_program=$(w_field MOLRAvin 4)
w_dialog=$(w_field floor_dialog 4)
r_window=$(ratio "$w_program" "$w_dialog")
b_program=$(w_field MOLRAvin 3)
b_dialog=$(w_field floor_dialog 3)
r_box=$(ratio "$b_program" "$b_dialog")
t_program=$(w_field MOLRAvin 5)
t_dialog=$(w_field floor_dialog 5)
r_total=$(ratio "$t_program" "$t_dialog")
i_program=$(w_field MOLRAvin 4 window-instant)
i_dialog=$(w_field floor_dialog 4 window-instant)
r_instant=$(ratio "$i_program" "$i_dialog")

echo "=== window while checking: window_timer, $check_runs checks of 3 s"
# The test DLLs, for MOLRAvin.exe only and only for this step: the check
# answers 0 and no echo comes back within its timeout.
shims=$program_build/tests/e2e/shims
cp -f "$shims/wsock32.dll" "$shims/sensapi.dll" "$shims/iphlpapi.dll" "$prefix/drive_c/windows/system32/"
overrides='HKCU\Software\Wine\AppDefaults\MOLRAvin.exe\DllOverrides'
for dll in wsock32 sensapi iphlpapi; do
    wine reg add "$overrides" /v "$dll" /d native /f >/dev/null 2>&1
done
mkdir -p "$bench/check"
MOLRA_SHIM_REACH='*=0' wine "$bench/window_timer.exe" --check-runs="$check_runs" --dir='C:\bench\check' \
    MOLRAvin='C:\bench\MOLRAvin.exe' | tr -d '\r' | tee "$results/check.txt"
c_check=$(awk '$1 == "MOLRAvin" { print $4 }' "$results/check.txt")
c_worst=$(awk '$1 == "MOLRAvin" { print $9 }' "$results/check.txt")

# The same two figures for the baseline, as MOLRAvin.exe in a folder of its
# own: the test DLLs' overrides go by the program's name.
compared=(MOLRAvin='C:\bench\MOLRAvin.exe')
if [ -n "$baseline" ]; then
    mkdir -p "$bench/baseline"
    cp -f "$baseline" "$bench/baseline/MOLRAvin.exe"
    compared+=(baseline='C:\bench\baseline\MOLRAvin.exe')
fi
four_addresses=192.168.2.10,192.168.3.10,10.0.0.7,172.16.5.20
four_command="MOLRA_SHIM_ADDRESSES=$four_addresses MOLRA_SHIM_REACH='*=0' wine window_timer.exe --check-runs=$four_runs --check-text= --dir='C:\bench\check' ${compared[*]}"
echo "=== four silent candidates: $four_command"
MOLRA_SHIM_ADDRESSES=$four_addresses MOLRA_SHIM_REACH='*=0' wine "$bench/window_timer.exe" \
    --check-runs="$four_runs" --check-text= --dir='C:\bench\check' "${compared[@]}" | tr -d '\r' | tee "$results/four.txt"
save_command="MOLRA_SHIM_REACH='*=1' wine window_timer.exe --save-runs=$save_runs --hold-ms=800 --dir='C:\bench\check' ${compared[*]}"
echo "=== save held 800 ms: $save_command"
MOLRA_SHIM_REACH='*=1' wine "$bench/window_timer.exe" --save-runs="$save_runs" --hold-ms=800 \
    --dir='C:\bench\check' "${compared[@]}" | tr -d '\r' | tee "$results/save.txt"
wine reg delete "$overrides" /f >/dev/null 2>&1
# name, column of its line in a result file
figure() { awk -v name="$1" -v column="$2" '$1 == name { print $column }' "$results/$3.txt"; }

size=$(stat -c %s "$program")
verdict() { awk -v r="$1" -v limit="$2" 'BEGIN { print (r <= limit ? "met" : "MISSED") }'; }

{
    echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), $(wine --version)"
    echo "launch path, median of $runs runs each (hyperfine -N, wine <exe> $address, $rounds rounds):"
    printf '  %-19s %7.1f ms  (processor %5.1f ms)  peak RSS %6s KiB\n' \
        MOLRAvin.exe "$m_program" "$c_program" "$p_program" \
        floor_user32.exe "$m_user32" "$c_user32" "$p_user32" \
        floor_kernel32.exe "$m_kernel32" "$c_kernel32" "$p_kernel32"
    echo "  MOLRAvin / floor_user32   = $r_user32 (target <= 1.10: $(verdict "$r_user32" 1.10))"
    echo "  MOLRAvin / floor_kernel32 = $r_kernel32 (stretch <= 1.25: $(verdict "$r_kernel32" 1.25))"
    echo "window path, median of $window_runs runs each (window_timer.exe, no argument, no shortcut file, OK after $reaction_ms ms):"
    printf '  %-19s %-18s %-18s %-18s %s\n' "" "start -> box" "OK -> window" "box + window" "peak working set"
    printf '  %-19s %7.1f ms         %7.1f ms         %7.1f ms         %6s KiB\n' \
        MOLRAvin.exe "$b_program" "$w_program" "$t_program" "$(w_field MOLRAvin 6)" \
        floor_dialog.exe "$b_dialog" "$w_dialog" "$t_dialog" "$(w_field floor_dialog 6)"
    echo "  MOLRAvin / floor_dialog, OK -> window = $r_window (target <= 2.0: $(verdict "$r_window" 2.0); $w_program ms, at most 100: $(verdict "$w_program" 100))"
    echo "  MOLRAvin / floor_dialog, start -> box = $r_box, box + window = $r_total"
    echo "  OK pressed the moment the box is seen: OK -> window $i_program ms / $i_dialog ms = $r_instant"
    echo "window while checking, $check_runs checks of $c_check ms (median): slowest WM_NULL $c_worst ms (target <= 100: $(verdict "$c_worst" 100))"
    echo "four silent candidates, $four_runs clicks: $four_command"
    for name in MOLRAvin ${baseline:+baseline}; do
        f_check=$(figure "$name" 4 four)
        echo "  $name: click $f_check ms (median; target <= 3500: $(verdict "$f_check" 3500)), slowest WM_NULL $(figure "$name" 9 four) ms"
    done
    echo "save held up 800 ms by a lock, $save_runs saves: $save_command"
    for name in MOLRAvin ${baseline:+baseline}; do
        s_worst=$(figure "$name" 9 save)
        echo "  $name: slowest WM_NULL $s_worst ms (target <= 100: $(verdict "$s_worst" 100)), new file after $(figure "$name" 4 save) ms (median)"
    done
    [ -z "$baseline" ] || echo "  baseline: ${MOLRA_BENCH_BASELINE:-$baseline}"
    echo "size: MOLRAvin.exe $size bytes = $(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }') KiB, icon included (limit 1024 KiB: $(verdict "$size" 1048575))"
} | tee "$results/summary.txt"
echo "results: $results"
