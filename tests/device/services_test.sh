#!/bin/bash
# The watchdog and the scheduled reboot as procd services, in the simulated
# access point with the platform's userland: the staged init scripts and
# configs, started, killed and respawned, reloaded on a committed change,
# stopped when disabled, and refused with one syslog line for a bad value
# or a second watchdog. Targets answer inside the sandbox, with a failure
# count no test run reaches.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog zelautoreboot
need_openwrt
for file in etc/init.d/zelpingwdog etc/init.d/zelautoreboot etc/config/zelpingwdog etc/config/zelautoreboot; do
    [ -f "$ZEL_STAGE/$file" ] || skip "$file is not installed in $ZEL_STAGE"
done

cat > "$work_dir/inside.sh" <<'INSIDE'
list() { ubus call service list "{\"name\":\"$1\"}"; }
command_of() { list $1 | jsonfilter -e "@.$1.instances.main.command[*]" | tr '\n' '|'; }
pid_of() { list $1 | jsonfilter -e "@.$1.instances.main.pid"; }
instances_of() { list $1 | jsonfilter -e "@.$1.instances.*.pid" | wc -l; }
# Up to about five seconds for the condition.
wait_for() {
    n=0
    while [ $n -lt 25 ]; do
        eval "$1" && return 0
        sleep 0.2
        n=$((n + 1))
    done
    return 1
}
# What the init script told the syslog.
told() { logread | sed -n "s/^.* $1: //p" > /var/told_$1_$2; }
commit_and_reload() { uci commit $1 && reload_config; }

uci set zelpingwdog.main.enabled=1
uci delete zelpingwdog.main.ipaddr
uci add_list zelpingwdog.main.ipaddr=127.0.0.1
uci add_list zelpingwdog.main.ipaddr="$SIM_LIVE_ADDR"
uci set zelpingwdog.main.interval=5
uci set zelpingwdog.main.delay=0
uci set zelpingwdog.main.failcount=1000
uci set zelpingwdog.main.reliability=2
uci set zelpingwdog.main.timeout=2
uci set zelpingwdog.main.tries=2
uci set zelpingwdog.main.maxreboots=3
uci set zelpingwdog.main.restartiface=wan
uci commit zelpingwdog
uci set zelautoreboot.main.enabled=1
uci set zelautoreboot.main.mode='By Time'
uci set zelautoreboot.main.time=03:30
uci delete zelautoreboot.main.numofhours
uci commit zelautoreboot
# As at a device's boot: the committed configs are what reload_config
# compares later changes with.
reload_config
/etc/init.d/zelpingwdog start
/etc/init.d/zelautoreboot start
wait_for '[ -n "$(pid_of zelpingwdog)" ] && [ -n "$(pid_of zelautoreboot)" ]'
command_of zelpingwdog > /var/command_1
command_of zelautoreboot > /var/autoreboot_command_1
/etc/init.d/zelpingwdog status > /var/status_1
wait_for 'grep -q "Running ping watchdog" /var/log/zelpingwdog 2>/dev/null && [ -s /etc/reboot_history ]'

# Killed, procd starts it again (after its respawn pause of 5 s).
first=$(pid_of zelpingwdog)
kill -9 "$first"
n=0
while [ $n -lt 50 ]; do
    second=$(pid_of zelpingwdog)
    [ -n "$second" ] && [ "$second" != "$first" ] && kill -0 "$second" 2>/dev/null && break
    sleep 0.2
    n=$((n + 1))
done
[ -n "$second" ] && [ "$second" != "$first" ] && echo respawned > /var/respawn

uci set zelpingwdog.main.interval=7
commit_and_reload zelpingwdog
wait_for 'command_of zelpingwdog | grep -q -- "|-interval=7|"'
command_of zelpingwdog > /var/command_2

uci set zelpingwdog.main.interval=abc
commit_and_reload zelpingwdog
wait_for '[ "$(instances_of zelpingwdog)" = 0 ]'
instances_of zelpingwdog > /var/instances_bad
told zelpingwdog bad

uci set zelpingwdog.main.interval=7
uci set zelpingwdog.backup=pingwdog
uci set zelpingwdog.backup.enabled=1
uci add_list zelpingwdog.backup.ipaddr=127.0.0.1
uci set zelpingwdog.backup.interval=5
uci set zelpingwdog.backup.delay=0
uci set zelpingwdog.backup.failcount=1000
commit_and_reload zelpingwdog
wait_for '[ -n "$(pid_of zelpingwdog)" ]'
list zelpingwdog | jsonfilter -e '@.zelpingwdog.instances.*.command[0]' > /var/instances_second
told zelpingwdog second

uci set zelpingwdog.main.enabled=0
uci set zelpingwdog.backup.enabled=0
commit_and_reload zelpingwdog
wait_for '[ "$(instances_of zelpingwdog)" = 0 ]'
instances_of zelpingwdog > /var/instances_disabled
ps -o args | grep "^/usr/sbin/zelpingwdog" > /var/processes_disabled

uci set zelautoreboot.main.time=24:00
commit_and_reload zelautoreboot
wait_for '[ "$(instances_of zelautoreboot)" = 0 ]'
instances_of zelautoreboot > /var/autoreboot_instances_bad
told zelautoreboot bad
INSIDE
sim --openwrt -- sh "$work_dir/inside.sh"
expect_status 0 "sandbox"

v=$KEPT/var
expect_eq "$(cat "$v/command_1")" "/usr/sbin/zelpingwdog|--app=pingwdog|-ipaddr=127.0.0.1,10.99.0.3|-interval=5|-delay=0|-failcount=1000|-reliability=2|-timeout=2|-tries=2|-maxreboots=3|-restartiface=wan|" \
    "the watchdog's command line from the section"
expect_eq "$(cat "$v/status_1")" "running" "status"
expect_file_matches "$v/log/zelpingwdog" "^$STAMP_RE Running ping watchdog\.\.\.IP=\[127\.0\.0\.1,10\.99\.0\.3\]\[interval\]=\[5\]\[startup delay\]=\[0\]\[failure_count\]=\[1000\]$"
expect_eq "$(cat "$v/respawn" 2>/dev/null)" "respawned" "a new watchdog after kill -9"
expect_eq "$(cat "$v/command_2")" "/usr/sbin/zelpingwdog|--app=pingwdog|-ipaddr=127.0.0.1,10.99.0.3|-interval=7|-delay=0|-failcount=1000|-reliability=2|-timeout=2|-tries=2|-maxreboots=3|-restartiface=wan|" \
    "the command line after the change of interval"
expect_eq "$(cat "$v/instances_bad")" 0 "instances with interval abc"
expect_eq "$(cat "$v/told_zelpingwdog_bad")" "zelpingwdog.main.interval='abc' is not a whole number from 1 to 65535: not started" \
    "syslog of interval abc"
expect_eq "$(cat "$v/instances_second")" "/usr/sbin/zelpingwdog" "instances with a second section"
expect_eq "$(cat "$v/told_zelpingwdog_second")" "zelpingwdog.main.interval='abc' is not a whole number from 1 to 65535: not started
zelpingwdog.backup: one watchdog per device, zelpingwdog.main is the one: not started" "syslog of a second section"
expect_eq "$(cat "$v/instances_disabled")" 0 "instances when disabled"
expect_eq "$(cat "$v/processes_disabled")" "" "watchdog processes when disabled"
expect_eq "$(cat "$v/sim/reboot.log" 2>/dev/null)" "" "reboots"

expect_eq "$(cat "$v/autoreboot_command_1")" "/usr/sbin/zelautoreboot|--app=autoreboot|-mode=By Time|-time=03:30|" \
    "the scheduled reboot's command line from the section"
expect_file_matches "$v/log/zelautoreboot" "^$STAMP_RE Running\.\.\.zelautoreboot at 03:30:[0-5][0-9]\(HH:MM:SS\)$"
expect_file_matches "$KEPT/etc/reboot_history" "^$STAMP_RE Scheduled reboot at 03:30:[0-5][0-9]\(HH:MM:SS\)$"
expect_eq "$(cat "$v/autoreboot_instances_bad")" 0 "scheduled reboot instances with time 24:00"
expect_eq "$(cat "$v/told_zelautoreboot_bad")" "zelautoreboot.main.time='24:00' is not a time from 00:00 to 23:59 (HH:MM): not started" \
    "syslog of time 24:00"

finish
