#!/bin/bash
# Hostile settings and arguments in the simulated access point. Every value
# that reaches a shell command (SSIDs, addresses, netmasks, encryption and
# modes, bridge texts, VLAN ids, web modes, section names, and the -webport,
# -ifname, -ipaddr, -mode and -time arguments) in turn holds quotes, ';',
# '|', $(...), backquotes, line feeds or 10,000 characters. Each payload
# would create /var/PWNED (or reboot) if the shell ran it as a command.
# For every case: the sentinel never appears, reboot runs only where the
# watchdog is meant to reboot, every run-log line is whole, configs that no
# command writes stay byte-identical, and every config still parses.
#
# All cases run one after another in one sandbox: each case puts its
# settings into /etc/config, runs every command, and keeps what it left in
# /var/cases/<case>. On a store that prints quoted values only the cases
# with hostile settings run; hostile arguments are a matter of the bare run.
source "$(dirname "$0")/lib.sh"
need_program zelvlan zelpingwdog zelautoreboot zelmaxtxpower uci

uci_host=$ZEL_STAGE/sbin/uci
cases=$(new_dir cases)
save=$(new_dir save)

long=$(printf 'A%.0s' $(seq 10000))
payloads=(
    "x'; touch /var/PWNED; echo '"
    'x"; touch /var/PWNED; echo "'
    'x$(touch /var/PWNED)`touch /var/PWNED`'
    $'x\ntouch /var/PWNED\nx'
    'x;reboot;touch /var/PWNED|touch /var/PWNED&&touch /var/PWNED'
    "${long:0:9960}'\$(touch /var/PWNED)'\`touch /var/PWNED\`;touch /var/PWNED"
)

# set_all DIR KEY=VALUE...: uci set into the case's config directory, then
# commit what was touched.
set_all() {
    local dir=$1 assignment configs=()
    shift
    for assignment in "$@"; do
        "$uci_host" -c "$dir" -t "$save" set "$assignment" || fail "uci set ${assignment:0:60}"
        configs+=("${assignment%%.*}")
    done
    local c
    for c in $(printf '%s\n' "${configs[@]}" | sort -u); do
        "$uci_host" -c "$dir" -t "$save" commit "$c" || fail "uci commit $c"
    done
}

add_list() {
    "$uci_host" -c "$1" -t "$save" add_list "$2" && "$uci_host" -c "$1" -t "$save" commit "${2%%.*}"
}

# new_case NAME: a case directory with the sample settings and no arguments.
new_case() {
    case_dir=$cases/$1
    mkdir -p "$case_dir/config"
    cp "$DEFAULT_SETTINGS"/* "$case_dir/config/"
    : > "$case_dir/arg"
}

n=0
for p in "${payloads[@]}"; do
    n=$((n + 1))
    new_case "$n-ssid"
    set_all "$case_dir/config" \
        "wireless.@wifi-iface[0].ssid=$p" "wireless.@wifi-iface[1].ssid=$p" \
        "wireless.@wifi-iface[2].ssid=S$p" "vlan.@vlan[0].bridge=$p" "vlansw.@vlan[0].bridge=S$p"

    new_case "$n-address"
    set_all "$case_dir/config" \
        "vlan.@vlan[0].ip=$p" "vlan.@vlan[0].netmask=$p" "vlan.@vlan[1].ip=$p" "vlan.@vlan[2].ip=1$p" \
        "network.lan.ipaddr=$p" "network.lan.netmask=$p" "network.lan.dns=$p"

    new_case "$n-security"
    set_all "$case_dir/config" \
        "wireless.@wifi-iface[0].encryption=psk2$p" "wireless.@wifi-iface[2].encryption=$p" \
        "wireless.@wifi-iface[0].mode=ap$p" "wireless.@wifi-iface[2].mode=sta$p" \
        "dropbear.webname.webmode=HTTP$p" "dropbear.webname.httpport=$p" "dropbear.webname.httpsport=$p"
    add_list "$case_dir/config" "uhttpd.main.listen_http=$p"

    new_case "$n-vlanid"
    set_all "$case_dir/config" \
        "vlan.@vlan[0].vlanid=10$p" "vlan.@vlan[2].vlanid=$p" "vlan.@vlan[0].priority=$p" \
        "vlan.@vlan[0].tagging=ether$p" "vlan.@vlan[2].vlan_used=on$p" \
        "vlansw.@vlan[0].vlanid=40$p" "vlansw.@vlan[1].priority=$p"

    # Section names can't hold such characters: the store refuses a file
    # that has one, so the commands see no settings of that config.
    new_case "$n-names"
    printf "\nconfig interface '%s'\n\toption type 'bridge'\n" "$p" >> "$case_dir/config/network"
    printf "\nconfig vlan '%s'\n\toption vlanid '60'\n\toption bridge 'ZelOffice'\n" "$p" >> "$case_dir/config/vlansw"

    # The payload on the command line, the sample settings in the store:
    # the store form has no part in these, so the quoted run leaves them to
    # the bare one (the sample settings in the quoted form are read in every
    # other case here).
    if [ "${ZEL_STORE_FORM:-bare}" != quoted ]; then
        new_case "$n-arguments"
        printf '%s' "$p" > "$case_dir/arg"
    fi
done
# Valid but very long names: a network interface and a switch-VLAN section.
new_case long-names
name=$(printf 'n%.0s' $(seq 10000))
set_all "$case_dir/config" "network.$name=interface" "network.$name.type=bridge" "network.$name.ifname=eth0.77"
printf "\nconfig vlan '%s'\n\toption vlanid '70'\n\toption bridge 'Backhaul'\n" "$name" >> "$case_dir/config/vlansw"
# VLAN ids with a command after a ';', one per id field.
new_case vlanid-reboot
set_all "$case_dir/config" "vlan.@vlan[0].vlanid=10;reboot" "vlan.@vlan[2].vlanid=20;reboot" \
    "vlansw.@vlan[0].vlanid=40;reboot" "vlansw.@vlan[1].vlanid=50;reboot"

cat > "$work_dir/inside.sh" <<'EOF'
# Runs every case of the directory given as $1 in this sandbox (and
# nowhere else: it empties /etc/config).
[ -n "${SIM_SILENT_ADDR:-}" ] && [ -d /var/sim ] || exit 3
# A scheduled time twelve hours away, so that the scheduler never reaches it.
far=$(printf '%02d:00' $(( ($(date +%H | sed 's/^0//') + 12) % 24 )))
reboots() { [ -f /var/sim/reboot.log ] && wc -l < /var/sim/reboot.log || echo 0; }
for case_dir in "$1"/*; do
    name=${case_dir##*/}
    out=/var/cases/$name
    mkdir -p "$out"
    rm -f /etc/config/* /var/PWNED /etc/reboot_history /var/log/zel* /var/zelvlan_ssid /var/max_txpower*
    rm -rf /tmp/.uci
    cp "$case_dir"/config/* /etc/config/
    arg=$(cat "$case_dir/arg")
    before=$(reboots)
    if [ -z "$arg" ]; then
        # The probe waits a second for the driver: run it beside the rest.
        zelmaxtxpower --app=get-maxtxpower -ifname=ath0 &
        zelmaxtxpower --app=get-maxtxpower -ifname=ath1 &
        for command in get-wifi-ssid vlan-mgt vlan-wpa vlan-priority refresh-lan-ip; do
            zelvlan --app=$command
        done
        zelvlan --app=vlan-set-uhttpd x -webport=8080
        wait
        echo 6 > "$out/zelvlan_runs"
    else
        zelvlan --app=vlan-set-uhttpd x "-webport=$arg"
        zelvlan --app=get-wifi-ssid "$arg"
        echo 2 > "$out/zelvlan_runs"
        zelmaxtxpower --app=get-maxtxpower "-ifname=$arg"
        zelmaxtxpower --app=get-maxtxpower "-ifname=ath1$arg"
        # A watched host that never answers, with the payload after a blank:
        # no address, so refused at start (no reboot), with the payload in
        # the start line of the run log.
        zelpingwdog --app=pingwdog "-ipaddr=$SIM_SILENT_ADDR $arg" -interval=0 -delay=0 -failcount=1 &
        watchdog=$!
        zelpingwdog --app=pingwdog "-ipaddr=$arg" -interval=0 -delay=0 -failcount=1
        zelautoreboot --app=autoreboot "-mode=$arg" "-time=$far" &
        scheduler=$!
        sleep 1
        kill $scheduler 2>/dev/null
        # After the other one: a scheduler starts its run log afresh.
        zelautoreboot --app=autoreboot -mode=By\ Time "-time=$arg"
        for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 $watchdog 2>/dev/null || break; sleep 0.5; done
        kill $watchdog 2>/dev/null
        wait
    fi
    echo $(( $(reboots) - before )) > "$out/reboots"
    for config in /etc/config/*; do
        uci show "${config##*/}" > /dev/null 2>&1 || echo "${config##*/}" >> "$out/unparsable"
    done
    mkdir -p "$out/config" "$out/log"
    cp /etc/config/* "$out/config/"
    cp /var/log/zel* /etc/reboot_history "$out/log/" 2>/dev/null
    [ -e /var/PWNED ] && mv /var/PWNED "$out/PWNED"
done
exit 0
EOF

sim -- sh "$work_dir/inside.sh" "$cases"
expect_status 0 "the cases ran"

# Lines that don't begin with a time stamp were cut or broken.
whole_lines() { ! grep -qvE "^$STAMP_RE " "$1"; }

for case_dir in "$cases"/*; do
    name=${case_dir##*/}
    out=$KEPT/var/cases/$name
    if [ ! -d "$out" ]; then
        fail "$name: case did not run"
        continue
    fi
    expect_no_file "$out/PWNED" "$name: a value ran as a command"
    expect_eq "$(cat "$out/reboots")" "$(cat "$out/expected_reboots" 2>/dev/null || echo 0)" "$name: reboots"
    for log in "$out"/log/*; do
        expect_true "$name: whole lines in ${log##*/}" whole_lines "$log"
    done
    expect_eq "$(grep -c 'Running\.\.\.main_' "$out/log/zelvlan" 2>/dev/null)" "$(cat "$out/zelvlan_runs")" \
        "$name: run-log lines of zelvlan"
    # No command writes these configs.
    for config in wireless vlansw vlanac dropbear zelmaxtxpower; do
        expect_true "$name: $config unchanged" cmp -s "$case_dir/config/$config" "$out/config/$config"
    done
    if [ "${name#[0-9]-}" = names ]; then
        expect_eq "$(cat "$out/unparsable" 2>/dev/null | tr '\n' ' ')" "network vlansw " "$name: refused configs"
    else
        expect_no_file "$out/unparsable" "$name: every config parses ($(cat "$out/unparsable" 2>/dev/null | tr '\n' ' '))"
    fi
done
# The argument cases reached the run logs (the watchdog refused the address
# with the payload after it).
if [ "${ZEL_STORE_FORM:-bare}" != quoted ]; then
    expect_file_has "$KEPT/var/cases/1-arguments/log/zelpingwdog" "Running ping watchdog...IP=[10.99.0.2 x'; touch /var/PWNED; echo ']"
    expect_file_has "$KEPT/var/cases/1-arguments/log/zelautoreboot" "time=[x'; touch /var/PWNED; echo ']"
fi
expect_no_file /var/PWNED "host /var/PWNED"

finish
