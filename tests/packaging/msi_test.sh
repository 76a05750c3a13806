#!/bin/sh
# The installer package under Wine, in a prefix of its own:
#   msi_test.sh <prefix> <pkg_probe.exe> <MOLRAvin.exe> <release.msi> <later.msi> <newer.msi>
#               <MOLRAvin.wxs> <step>
# step: setup (fixture: fresh prefix, one wineserver for the run, baseline listing),
# cleanup (ends the server, removes the prefix, keeps $prefix-logs), or a scenario. Each scenario starts from the baseline and ends on it.
# preset_address_opens_browser needs only <MOLRAvin.exe> and <release.msi> (the others may be -:
# no upgrades then), so that it can check a signed build too.
# Every Wine call has a timeout and writes to files, never to CTest's pipe:
# Wine's helper processes would inherit it and hold the test open.
set -eu
prefix=$1 probe=$2 program=$3 release=$4 later=$5 newer=$6 wxs=$7 step=$8

export WINEPREFIX="$prefix" WINEDEBUG=-all
# Wine links the profile's Desktop, Documents and the like to $HOME: a home of
# its own keeps the package's shortcuts off the real one.
export HOME="$prefix-home"
# No Mono or Gecko installer while the prefix is made; no menu entries on the
# host for the shortcuts the package creates.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
drive=$prefix/drive_c
baseline=$prefix-baseline.txt
logs=$prefix-logs
out=$logs/out.txt
# Outside drive_c, so that it is no trace of the package.
browser_log=$prefix-browser.log

tests_common=$(dirname "$0")/../common
. "$tests_common/expected_texts.sh"
. "$tests_common/netns.sh"
need_own_netns msi_test
notice=$(expected_text kNotice)
title=$(expected_text kWindowTitle)
description="Öffnet die Browser-Oberfläche des MOLRAvin Servers"
program_path='C:\Program Files\MOLRAvin\MOLRAvin.exe'
work_folder='C:\ProgramData\MOLRAvin'
url_file=$drive/ProgramData/MOLRAvin/MOLRAvin.url
upgrade_code='{51E3AB82-8A15-4E03-841A-3CC107BD5690}'

fail() {
    printf 'msi_test: %s\n' "$*" >&2
    exit 1
}
# A Unix path as Wine sees it, and a file under drive_c as C:\...
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
drive_path() { printf 'C:%s' "${1#"$drive"}" | tr / '\\'; }
MOLRA_PKG_BROWSER_LOG=$(windows_path "$browser_log")
export MOLRA_PKG_BROWSER_LOG

# wine_run <seconds> <program> [arguments...]: output into $out (CR removed).
wine_run() {
    limit=$1
    shift
    status=0
    timeout "$limit" wine "$@" </dev/null >"$out.raw" 2>>"$logs/wine.log" || status=$?
    tr -d '\r' <"$out.raw" >"$out"
    return $status
}
# A failed probe shows what it printed and what Wine said last, for the failure report.
# Wine's own errors are logged for it, so that a probe that died inside Wine says so.
probe() {
    WINEDEBUG=err+all wine_run 60 "$probe" "$@" && return 0
    status=$?
    { echo "msi_test: probe $1 -> $status"; tail -n 5 "$out"; tail -n 5 "$logs/wine.log"; } >&2
    return $status
}
field() { sed -n "s/^$1=//p" "$out"; }

# msiexec_run <log name> <msiexec arguments...>: the exit code, its verbose log kept.
msiexec_run() {
    name=$1
    shift
    status=0
    wine_run 180 msiexec "$@" /qn /l*v "$(windows_path "$logs/$name.log")" || status=$?
    printf 'msiexec %s -> %s\n' "$*" "$status"
    return $status
}
install() {
    name=$1
    shift
    msiexec_run "$name" /i "$@" || { tail -n 40 "$logs/$name.log" 2>/dev/null | tr -d '\r' >&2; fail "install $* failed"; }
}

listing() { (cd "$drive" && find . | LC_ALL=C sort); }
# The drive as it was at set-up; Windows Installer may leave its own, then empty,
# cache folder behind.
expect_baseline_files() {
    listing >"$logs/now.txt"
    extra=$(diff "$baseline" "$logs/now.txt" | grep -v '^> \./windows/Installer$' | grep '^[<>]' || true)
    [ -z "$extra" ] || fail "$1: the drive differs from the baseline:
$extra"
}

# Sets $registered: "<product code> <version>" for each installed product of the upgrade code.
list_products() {
    probe products "$upgrade_code" || fail "cannot list the installed products"
    registered=$(sed -n 's/^product=//p' "$out")
}
# Sets $traces: how many registry entries name the product, its upgrade code, any
# component of the package, or one of the product codes given; they are listed in
# $logs/traces.txt. Not counted: the registration that Windows Installer keeps for the
# permanent component of the preset address (its key and its system-client value).
count_traces() {
    set -- MOLRAvin $(grep -o '[0-9A-F]\{8\}-[0-9A-F]\{4\}-[0-9A-F]\{4\}-[0-9A-F]\{4\}-[0-9A-F]\{12\}' "$wxs" |
                      sort -u | sed 's/.*/{&}/') "$@"
    probe registry-traces "$@" || fail "registry search failed"
    cp "$out" "$logs/traces.txt"
    [ -n "$(field traces)" ] || fail "the registry search printed no count"
    # The packed form of the component GUID, as the registry holds it.
    guid=$(sed -n 's/.*PresetGuid = "\([0-9A-F-]*\)".*/\1/p' "$wxs" | head -n 1 | tr -d -)
    packed=$(printf '%s' "$guid" | cut -c1-8 | rev)$(printf '%s' "$guid" | cut -c9-12 | rev)$(printf '%s' "$guid" | cut -c13-16 | rev)$(printf '%s' "$guid" | cut -c17-32 | sed 's/\(.\)\(.\)/\2\1/g')
    key="trace=Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\$packed"
    traces=$(grep '^trace=' "$logs/traces.txt" |
             grep -v -x -F "$key" | grep -v -F "$key : 00000000000000000000000000000000 = " | grep -c . || true)
}
# The file the installer writes for SERVER=<address>: the program's own four lines.
expect_preset() {
    printf '[InternetShortcut]\r\nURL=http://%s\r\nIconIndex=0\r\nIconFile=%s\r\n' "$2" "$program_path" >"$logs/expected.url"
    cmp -s "$url_file" "$logs/expected.url" || fail "$1: MOLRAvin.url is not the preset for $2: $(od -c "$url_file" 2>&1 | head -n 8)"
}
# expect_memory <when> <address>: the SERVER the package remembers, in the 64-bit view.
expect_memory() {
    wine_run 30 reg query 'HKLM\Software\MOLRAvin' /v Server /reg:64 || true
    [ "$(sed -n 's/^ *Server *REG_SZ *//p' "$out")" = "$2" ] || fail "$1: remembered SERVER: $(cat "$out")"
}
# expect_refused <log name> <msi> <"code version" of the newer product that stays>. Wine
# neither logs nor shows the launch condition's message: its detection instead.
expect_refused() {
    status=0
    msiexec_run "$1" /i "$(windows_path "$2")" || status=$?
    # 1603, "fatal error during installation", as Unix sees it: modulo 256.
    [ $status = $((1603 % 256)) ] || fail "$1: exit code $status, not 1603"
    tr -d '\r' <"$logs/$1.log" | grep -q -x "Property(S): WIX_DOWNGRADE_DETECTED = ${3%% *}" ||
        fail "$1: the newer product was not detected"
    list_products
    [ "$registered" = "$3" ] || fail "$1: registered $registered"
}
# Waits for the browser's record of its command line; sets $started.
wait_for_browser() {
    waited=0
    until [ -s "$browser_log" ]; do
        [ $waited -lt 100 ] || fail "the browser was not started within 20 s"
        sleep 0.2
        waited=$((waited + 1))
    done
    started=$(tr -d '\r' <"$browser_log")
}

start_menu_links() { find "$drive" -name MOLRAvin.lnk -path '*/Start Menu/Programs/*'; }
desktop_links() { find "$drive" -name MOLRAvin.lnk -path '*/Desktop/*'; }
count() { if [ -z "$1" ]; then echo 0; else printf '%s\n' "$1" | wc -l; fi; }

# check_link <unix path of the .lnk>: the program, no argument, its own icon, the
# working folder.
check_link() {
    probe lnk "$(drive_path "$1")" || fail "cannot read $1"
    [ "$(field target)" = "$program_path" ] || fail "$1: target is '$(field target)'"
    workdir=$(field workdir)
    [ "${workdir%\\}" = "$work_folder" ] || fail "$1: working folder is '$workdir'"
    [ -z "$(field arguments)" ] || fail "$1: arguments '$(field arguments)'"
    # None: the shell takes the target's first icon.
    [ -z "$(field icon)" ] || fail "$1: icon is '$(field icon)'"
    [ "$(field description)" = "$description" ] || fail "$1: description is '$(field description)'"
}

# Undoes what an earlier, failed scenario may have left, then expects the baseline.
start_clean() {
    list_products
    if [ -n "$registered" ]; then
        wine_run 30 taskkill /f /im MOLRAvin.exe || true
        for code in $(printf '%s\n' "$registered" | cut -d' ' -f1); do msiexec_run reset /x "$code" || true; done
    fi
    rm -rf "$drive/ProgramData/MOLRAvin" "$browser_log"
    expect_baseline_files "before the scenario"
    list_products
    [ -z "$registered" ] || fail "still registered before the scenario: $registered"
}

# expect_gone <what> <product code>...: no file, shortcut, registration or registry entry.
expect_gone() {
    what=$1
    shift
    expect_baseline_files "$what"
    list_products
    [ -z "$registered" ] || fail "$what: still registered: $registered"
    count_traces "$@"
    [ "$traces" = 0 ] || fail "$what: registry traces left:
$(grep '^trace=' "$logs/traces.txt")"
}

case $step in
setup)
    [ -n "${DISPLAY:-}" ] || fail "no DISPLAY; run the packaging tests under xvfb-run -a"
    command -v wine >/dev/null 2>&1 || fail "wine is not installed (apt-get install wine wine64)"
    # A server left behind by an aborted run still holds the old prefix.
    if [ -d "$prefix" ]; then wineserver -k >/dev/null 2>&1 || true; fi
    rm -rf "$prefix" "$logs" "$baseline" "$browser_log" "$HOME"
    mkdir -p "$prefix" "$logs" "$HOME"
    # Started first, so that wineboot and every step after it use this one server.
    wineserver -p </dev/null >"$logs/wine.log" 2>&1
    timeout 120 wineboot -i </dev/null >>"$logs/wine.log" 2>&1 || { cat "$logs/wine.log" >&2; fail "wineboot failed"; }
    # And real folders instead of those links, so that all the package writes is in drive_c.
    for link in "$drive"/users/*/*; do
        if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
    done
    # Wine's uninstall removes a component's folder once it is empty, the Desktop
    # too; a real Desktop is never empty.
    for desktop in "$drive"/users/*/Desktop; do
        if [ -d "$desktop" ]; then printf '[.ShellClassInfo]\r\n' >"$desktop/desktop.ini"; fi
    done
    # No window manager under Xvfb: unmanaged windows, or Wine waits for one.
    wine_run 30 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || fail "reg add failed"
    # The browser is the probe's stand-in, which records how it was started.
    mkdir -p "$drive/pkgtest"
    cp "$probe" "$drive/pkgtest/browser.exe"
    wine_run 30 reg add 'HKCR\CLSID\{0002DF01-0000-0000-C000-000000000046}\LocalServer32' /ve \
        /d 'C:\pkgtest\browser.exe' /f || fail "reg add failed"
    listing >"$baseline"
    echo "msi_test: prefix ready at $prefix"
    ;;

cleanup)
    wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
    # Some 700 MB; the logs beside it stay.
    rm -rf "$prefix" "$HOME"
    ;;

install_start_uninstall)
    start_clean
    install install "$(windows_path "$release")"
    cmp -s "$drive/Program Files/MOLRAvin/MOLRAvin.exe" "$program" || fail "installed MOLRAvin.exe differs from the build's"
    [ -d "$drive/ProgramData/MOLRAvin" ] || fail "no working folder $work_folder"
    [ ! -e "$url_file" ] || fail "MOLRAvin.url written without SERVER"
    links=$(start_menu_links)
    [ "$(count "$links")" = 1 ] || fail "expected one Start-menu shortcut, found: $links"
    [ -z "$(desktop_links)" ] || fail "desktop shortcut without DESKTOP_SHORTCUT: $(desktop_links)"
    check_link "$links"
    list_products
    set -- $registered
    [ $# = 2 ] && [ "$2" = 1.1.9 ] || fail "registered products: $registered"
    code=$1
    count_traces "$code"
    [ "$traces" -gt 0 ] || fail "the registry search does not see the installed product"

    # As a user starts it: through the shortcut, in the working folder, where no
    # MOLRAvin.url is yet.
    probe start-lnk "$(drive_path "$links")" "$notice" "$title" ||
        { cat "$out" >&2; fail "starting through the shortcut"; }
    cat "$out"
    [ "$(field exit)" = 0 ] || fail "the program ended with $(field exit)"

    msiexec_run uninstall /x "$(windows_path "$release")" || fail "uninstall failed"
    expect_gone "after the uninstall" "$code"
    echo "msi_test: installed, started through the Start-menu shortcut, removed without a trace"
    ;;

desktop_shortcut_property)
    start_clean
    install desktop "$(windows_path "$release")" DESKTOP_SHORTCUT=1
    links=$(desktop_links)
    [ "$(count "$links")" = 1 ] || fail "expected one desktop shortcut, found: $links"
    check_link "$links"
    [ "$(count "$(start_menu_links)")" = 1 ] || fail "no Start-menu shortcut beside the desktop one"
    list_products
    code=${registered%% *}
    msiexec_run uninstall /x "$(windows_path "$release")" || fail "uninstall failed"
    [ -z "$(desktop_links)" ] || fail "desktop shortcut left: $(desktop_links)"
    expect_gone "after the uninstall" "$code"
    echo "msi_test: DESKTOP_SHORTCUT=1 adds the desktop shortcut; the uninstall removes it"
    ;;

later_version_replaces_this_one)
    start_clean
    install first "$(windows_path "$release")"
    list_products
    first=${registered%% *}
    # The address a user saved, as the program writes it.
    printf '[InternetShortcut]\r\nURL=http://127.0.0.1\r\nIconIndex=0\r\nIconFile=%s\r\n' "$program_path" >"$url_file"
    cp "$url_file" "$logs/saved.url"

    # 1.1.0.10 differs in the fourth field, which Windows Installer does not compare: the
    # package's version is 1.1.10.
    install later "$(windows_path "$later")"
    list_products
    set -- $registered
    [ $# = 2 ] && [ "$2" = 1.1.10 ] && [ "$1" != "$first" ] || fail "after 1.1.0.10: registered $registered"
    later_code=$1
    cmp -s "$url_file" "$logs/saved.url" || fail "the upgrade changed or removed the saved MOLRAvin.url"
    expect_refused older "$release" "$later_code 1.1.10"
    install again "$(windows_path "$later")"
    tr -d '\r' <"$logs/again.log" | grep -q '^Property(S): Installed = ' || fail "1.1.0.10 again was no maintenance run"
    list_products
    [ "$registered" = "$later_code 1.1.10" ] || fail "after 1.1.0.10 again: registered $registered"
    links=$(start_menu_links)
    [ "$(count "$links")" = 1 ] || fail "after the upgrade: Start-menu shortcuts: $links"
    check_link "$links"

    # The shortcut starts the program where the address was saved: it opens the browser.
    probe start-lnk "$(drive_path "$links")" || { cat "$out" >&2; fail "starting through the shortcut"; }
    [ "$(field exit)" = 0 ] || fail "the program ended with $(field exit)"
    wait_for_browser
    [ "$started" = 'C:\pkgtest\browser.exe -nomerge http://127.0.0.1' ] || fail "browser started as: $started"

    # An upgrade with SERVER replaces the saved address.
    install newer "$(windows_path "$newer")" SERVER=127.0.0.2
    expect_preset "after 1.1.1.0 with SERVER=127.0.0.2" 127.0.0.2
    cp "$url_file" "$logs/saved.url"
    list_products
    set -- $registered
    [ $# = 2 ] && [ "$2" = 1.1.1000 ] || fail "after 1.1.1.0: registered $registered"
    newer_code=$1
    # Going back is refused, and the newer version stays.
    expect_refused downgrade "$release" "$newer_code 1.1.1000"

    msiexec_run uninstall /x "$(windows_path "$newer")" || fail "uninstall failed"
    # The saved address is user data: it stays, and with it its folder.
    cmp -s "$url_file" "$logs/saved.url" || fail "the uninstall changed or removed the saved MOLRAvin.url"
    rm -f "$url_file"
    rmdir "$drive/ProgramData/MOLRAvin"
    expect_gone "after the uninstall" "$first" "$later_code" "$newer_code"
    echo "msi_test: 1.1.0.10 and 1.1.1.0 each replaced the one before; 1.1.0.10 kept MOLRAvin.url and again was a maintenance run, 1.1.1.0 with SERVER replaced its address; 1.1.0.9 over either refused"
    ;;

preset_address_opens_browser)
    start_clean
    # The Registry table would keep "#10.0.0.1" as a number.
    status=0
    msiexec_run hash /i "$(windows_path "$release")" 'SERVER=#10.0.0.1' || status=$?
    [ $status = $((1603 % 256)) ] || fail "SERVER=#10.0.0.1 gave $status, not 1603"
    # A roll-out: the address given to the installer; nobody sees the setup window.
    install preset "$(windows_path "$release")" SERVER=10.0.0.1
    cmp -s "$drive/Program Files/MOLRAvin/MOLRAvin.exe" "$program" || fail "installed MOLRAvin.exe differs from the build's"
    expect_preset "after the install" 10.0.0.1
    list_products
    code=${registered%% *}
    links=$(start_menu_links)
    # The program only hands the address to the browser (the recorder): nothing is sent.
    probe start-lnk "$(drive_path "$links")" || { cat "$out" >&2; fail "starting through the shortcut"; }
    [ "$(field exit)" = 0 ] || fail "the program ended with $(field exit)"
    wait_for_browser
    [ "$started" = 'C:\pkgtest\browser.exe -nomerge http://10.0.0.1' ] || fail "browser started as: $started"

    # A repair writes the remembered address again (Wine leaves out the file without it).
    install repair "$(windows_path "$release")" REINSTALL=ALL
    expect_preset "after the repair" 10.0.0.1
    tr -d '\r' <"$logs/repair.log" | grep -q 'Key: URL, Value: http://10.0.0.1$' || fail "the repair wrote no address"
    expect_memory "after the repair" 10.0.0.1
    installed=$release address=10.0.0.1
    # Then an upgrade without SERVER, and one whose SERVER wins and is remembered.
    if [ "$later" != - ]; then
        install upgrade "$(windows_path "$later")"
        expect_preset "after the upgrade without SERVER" 10.0.0.1
        expect_memory "after the upgrade without SERVER" 10.0.0.1
        install upgrade-server "$(windows_path "$newer")" SERVER=10.0.0.3
        installed=$newer address=10.0.0.3
        expect_preset "after the upgrade with SERVER" $address
        expect_memory "after the upgrade with SERVER" $address
    fi
    # The uninstall forgets the address (expect_gone finds any value left) and keeps the file.
    msiexec_run uninstall /x "$(windows_path "$installed")" || fail "uninstall failed"
    expect_preset "after the uninstall" $address
    rm -f "$url_file"
    rmdir "$drive/ProgramData/MOLRAvin"
    expect_gone "after the uninstall" "$code"
    echo "msi_test: SERVER=10.0.0.1 wrote MOLRAvin.url, which opened the browser; a repair and an upgrade without SERVER kept it, SERVER=10.0.0.3 replaced it, and the file outlived the uninstall"
    ;;

package_tables)
    # What Wine's installer skips, so only the tables show it. row <table> <fields> <row, | for tab>
    row() {
        msiinfo export "$release" "$1" | tr -d '\r\000' | cut -f "$2" |
            grep -q -x -F "$(printf '%s' "$3" | tr '|' '\t')" || fail "$1 has no row $3"
    }
    row Registry 1- 'ServerMemory|2|Software\MOLRAvin|Server|[SERVER]|ServerMemory'
    # Read back raw from HKLM's 64-bit view, copied to SERVER after AppSearch (50) and
    # LaunchConditions (100), before CostFinalize (1000) decides the components.
    row AppSearch 1- 'REMEMBERED_SERVER|RememberedServer'
    row RegLocator 1- 'RememberedServer|2|Software\MOLRAvin|Server|18'
    row CustomAction 1-4 'RecallServer|51|SERVER|[REMEMBERED_SERVER]'
    row InstallUISequence 1- 'RecallServer|REMEMBERED_SERVER AND NOT SERVER|980'
    row InstallExecuteSequence 1- 'RecallServer|REMEMBERED_SERVER AND NOT SERVER|980'
    row InstallExecuteSequence 1- 'WriteIniValues|SERVER|5100'
    row Property 1- 'SecureCustomProperties|SERVER;REMEMBERED_SERVER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED'
    # Only with SERVER, not transitive (64); the file permanent (16), the memory not.
    row Component 1,4- 'ServerPreset|272|SERVER|'
    row Component 1,4- 'ServerMemory|260|SERVER|ServerMemory'
    row LaunchCondition 1- 'NOT WIX_DOWNGRADE_DETECTED|Eine neuere Version von MOLRAvin ist bereits installiert.'
    # Language 1031 and code page 1252; the summary's is its one short integer (VT_I2 1252).
    row _ForceCodepage 1- '1252|_ForceCodepage'
    [ "$(msiinfo suminfo "$release" | LC_ALL=C grep -c -x -e 'Template: x64;1031' \
         -e "Comments: $(printf '\326')ffnet die Browser-Oberfl$(printf '\344')che des MOLRAvin Servers.")" = 2 ] ||
        fail "summary: $(msiinfo suminfo "$release" | grep -e Template -e Comments)"
    msiinfo extract "$release" "$(printf '\005')SummaryInformation" | od -An -v -tx1 | tr -d ' \n' |
        grep -q 02000000e4040000 || fail "the summary declares no code page 1252"
    echo "msi_test: the tables remember SERVER and read it back; 1031 and code page 1252"
    ;;

*)
    fail "unknown step $step"
    ;;
esac
