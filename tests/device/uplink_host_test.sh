#!/bin/bash
# uplink-host in the simulated access point: a slow host answers after its
# delay, --every 3 answers requests 3 and 6 of 6, a seeded loss drops the same
# requests every time, an IPv6 host answers, and a host stuck after two
# answers answers again once eth1 has been set down and up (which drops the
# static neighbour entry: the host answers the ARP itself). The pings are
# busybox's, checked by the access point's kernel.
source "$(dirname "$0")/lib.sh"
command -v cc >/dev/null || skip "no C compiler for the uplink host"

cat > "$work_dir/uplink.sh" <<'INSIDE'
# The slow hosts answer in the background while the others are tried.
uplink-host 10.99.0.5 --delay 1200 || exit 3
busybox ping -c 2 -W 3 10.99.0.5 > /var/slow.out &
slow=$!
uplink-host 2001:db8:99::5 --delay 300 || exit 4
busybox ping -6 -c 2 -W 2 2001:db8:99::5 > /var/ipv6.out &
ipv6=$!
uplink-host 10.99.0.6 --every 3 || exit 5
busybox ping -c 6 -i 0.2 -W 1 10.99.0.6 > /var/every.out
# The same seed twice, at the same address.
for run in 1 2; do
    uplink-host 10.99.0.7 --loss 50 --seed 7 || exit 6
    busybox ping -c 10 -i 0.1 -W 1 10.99.0.7 > /var/loss$run.out
    kill "$(cat /var/run/uplink-host-10.99.0.7.pid)"
    while [ -e /var/run/uplink-host-10.99.0.7.pid ]; do sleep 0.05; done
    mv /var/sim/uplink-host-10.99.0.7.log /var/loss$run.log
done
wait $slow $ipv6
uplink-host 10.99.0.1 2>/var/refused.err
echo $? > /var/refused.status
# Last, as the bounce of eth1 disturbs the others.
uplink-host 10.99.0.8 --stuck-after 2 || exit 7
busybox ping -c 3 -i 0.2 -W 1 10.99.0.8 > /var/stuck.out
ip link set eth1 down && ip link set eth1 up
i=0
until grep -qx 'carrier up' /var/sim/uplink-host-10.99.0.8.log || [ $i -ge 50 ]; do sleep 0.1; i=$((i + 1)); done
busybox ping -c 2 -i 0.2 -W 1 10.99.0.8 > /var/unstuck.out
INSIDE
sim -- sh "$work_dir/uplink.sh"
expect_status 0 "sandbox"
V=$KEPT/var
# The log without the identifiers, which are the pinging process's.
requests() { sed 's/ id=[0-9]* / /' "$1"; }
times() { sed -n 's/.* time=\([0-9]*\)\..*/\1/p' "$1"; }

# --- slow: both replies, none sooner than the delay
expect_file_has "$V/slow.out" "2 packets transmitted, 2 packets received"
expect_eq "$(times "$V/slow.out" | wc -l)" 2 "slow: two round trips"
for t in $(times "$V/slow.out"); do
    expect_true "slow: round trip $t ms, at least the delay" test "$t" -ge 1200 -a "$t" -lt 2400
done
expect_file_matches "$V/sim/uplink-host-10.99.0.5.log" '^request 1 id=[0-9]+ seq=0 reply$'

# --- IPv6
expect_file_has "$V/ipv6.out" "2 packets transmitted, 2 packets received"
for t in $(times "$V/ipv6.out"); do
    expect_true "ipv6: round trip $t ms, at least the delay" test "$t" -ge 300 -a "$t" -lt 1300
done
expect_eq "$(requests "$V/sim/uplink-host-2001:db8:99::5.log")" "request 1 seq=0 reply
request 2 seq=1 reply" "ipv6: log"

# --- every third
expect_file_has "$V/every.out" "6 packets transmitted, 2 packets received"
expect_eq "$(requests "$V/sim/uplink-host-10.99.0.6.log")" "request 1 seq=0 drop
request 2 seq=1 drop
request 3 seq=2 reply
request 4 seq=3 drop
request 5 seq=4 drop
request 6 seq=5 reply" "every 3: log"

# --- seeded loss: the same drops twice, some of each, as many replies as ping saw
expect_lines "$V/loss1.log" 10
expect_eq "$(requests "$V/loss2.log")" "$(requests "$V/loss1.log")" "loss: the same log for the same seed"
replies=$(grep -c ' reply$' "$V/loss1.log")
expect_true "loss: some replies and some drops ($replies of 10)" test "$replies" -ge 1 -a "$replies" -le 9
expect_file_has "$V/loss1.out" "10 packets transmitted, $replies packets received"

# --- stuck after two answers, until the carrier goes and comes back
expect_file_has "$V/stuck.out" "3 packets transmitted, 2 packets received"
expect_file_has "$V/unstuck.out" "2 packets transmitted, 2 packets received"
expect_eq "$(requests "$V/sim/uplink-host-10.99.0.8.log")" "request 1 seq=0 reply
request 2 seq=1 reply
request 3 seq=2 drop
carrier down
carrier up
request 4 seq=0 reply
request 5 seq=1 reply" "stuck: log"

# --- an address of the access point is refused
expect_eq "$(cat "$V/refused.status")" 2 "refused: status"
expect_file_has "$V/refused.err" "usage: uplink-host ADDRESS"

finish
