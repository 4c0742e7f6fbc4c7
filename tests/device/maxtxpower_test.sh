#!/bin/bash
# zelmaxtxpower in the simulated access point, whose driver grants
# min(asked, SIM_MAX_TXPOWER) dBm (20 unless set).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
need_program zelmaxtxpower uci

# run_case NAME SWITCH ARGS...: SWITCH is the value of
# zelmaxtxpower.dbname.enabled, or "missing" for a config without it.
run_case() {
    case_name=$1; local switch=$2; shift 2
    local settings
    settings=$(settings_copy)
    if [ "$switch" = missing ]; then
        printf "config probe 'dbname'\n\toption other '1'\n" > "$settings/zelmaxtxpower"
    else
        printf "config probe 'dbname'\n\toption enabled '%s'\n" "$switch" > "$settings/zelmaxtxpower"
    fi
    sim --settings "$settings" -- zelmaxtxpower "$@"
    var=$KEPT/var
}

holds() { # file text what
    local got
    got=$(cat "$1" 2>/dev/null)
    expect_eq "$got" "$2" "[$case_name] ${3:-$1}"
}

run_case probe_ath0 1 --app=get-maxtxpower -ifname=ath0
expect_status 0
holds "$var/max_txpower_ath0" ath0:20
holds "$var/max_txpower" ath0:20
expect_line "$var/sim/iwconfig.log" "iwconfig ath0 txpower 30"
expect_lines "$var/log/zelmaxtxpower" 1
expect_file_matches "$var/log/zelmaxtxpower" "^${STAMP_RE} Running\.\.\.main_get_maxtxpower$"

SIM_MAX_TXPOWER=17 run_case driver_grants_17 1 --app=get-maxtxpower -ifname=ath0
holds "$var/max_txpower_ath0" ath0:17
holds "$var/max_txpower" ath0:17

# Interface 2 is probed as itself but looked up at position 1 (ZelGuest).
run_case ath2_looked_up_at_1 1 --app=get-maxtxpower -ifname=ath2
holds "$var/max_txpower_ath2" ath2:20
holds "$var/max_txpower" ath2:20

run_case switched_off 0 --app=get-maxtxpower -ifname=ath0
expect_status 0
holds "$SIM_OUT" "" "[switched_off] nothing printed"
expect_no_file "$var/log/zelmaxtxpower"
expect_no_file "$var/max_txpower"
expect_no_file "$var/max_txpower_ath0"
expect_no_file "$var/sim/iwconfig.log"

run_case switch_missing missing --app=get-maxtxpower -ifname=ath0
expect_status 255
holds "$SIM_OUT" "UCI Error: 'zelmaxtxpower.dbname.enabled' not found !" "[switch_missing] printed"
expect_no_file "$var/log/zelmaxtxpower"
expect_no_file "$var/max_txpower"

run_case no_ifname 1 --app=get-maxtxpower
expect_status 0
expect_no_file "$var/max_txpower"
expect_file_matches "$var/log/zelmaxtxpower" \
    "^${STAMP_RE} Running\.\.\.main_get_maxtxpower: no -ifname given, nothing probed$"

finish
