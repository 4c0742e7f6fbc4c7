#!/bin/bash
# The VLAN manager's promise on a real kernel (sim/run --vm), on the sample
# settings, in one boot: vlan-mgt and a network reload give bridges of real
# 802.1Q devices and Wi-Fi radios; vlan-priority sets the kernel's maps;
# vlan-wpa moves ZelGuest's hostapd into br-vlan20 and the Backhaul
# station's supplicant onto br-vlansw2, and their clients associate again;
# Wi-Fi clients land on their SSID's VLAN: their frames leave the trunk with
# its tag and priority, they reach that VLAN's host on the switch and
# nothing of another SSID; the web server answers on every VLAN address;
# zelmaxtxpower records what the driver granted; with the VLAN switch off no
# VLAN device or bridge is left; the watchdog's reboot reboots the VM.
source "$(dirname "$0")/lib.sh"
need_program zelvlan zelmaxtxpower zelpingwdog
need_vm

cat > "$work_dir/inside.sh" <<'INSIDE'
now() { cut -d. -f1 /proc/uptime; }
# until SECONDS COMMAND...: waits for COMMAND to succeed, false when it didn't.
until_ok() {
    end=$(( $(now) + $1 )); shift
    while ! "$@" >/dev/null 2>&1; do [ "$(now)" -lt "$end" ] || return 1; sleep 0.3; done
}
up() { ubus call network.interface.$1 status 2>/dev/null | grep -q '"up": true'; }
all_up() { for n in "$@"; do up $n || return 1; done; }
port_of() { [ -e /sys/class/net/$1/brif/$2 ]; }
ports() { for b in /sys/class/net/br-*; do echo "${b##*/}: $(ls $b/brif | tr '\n' ' ')"; done; }
connected() { [ "$(grep -c CTRL-EVENT-CONNECTED /var/sim/station-$1.log)" -ge "$2" ]; }
in_ns() { ns=$1; shift; ip netns exec $ns "$@"; }
mark() { echo "$(cut -d' ' -f1 /proc/uptime) $1" >> /var/times; }
ping_from() { in_ns $1 ping -c 2 -W 3 $2 >/dev/null 2>&1 && echo "$1 $2 answered" || echo "$1 $2 unanswered"; }
mac() { in_ns $1 cat /sys/class/net/sta/address; }
# The echo requests seen on the trunk's far side: source, tag and priority.
requests() {
    sed -n 's/.*ethertype 802\.1Q (0x8100), length [0-9]*: vlan \([0-9]*\), p \([0-7]\), ethertype IPv4[^,]*, \([0-9.]*\) > \([0-9.]*\): ICMP echo request.*/\3 > \4 vlan \1 p \2/p
            s/.*ethertype IPv4 (0x0800), length [0-9]*: \([0-9.]*\) > \([0-9.]*\): ICMP echo request.*/\1 > \2 untagged/p' "$1" | sort -u
}

# --- the bridges
mark start
zelvlan --app=vlan-mgt >/dev/null 2>&1
/etc/init.d/network reload
until_ok 30 all_up vlan10 vlan20 vlan30 vlansw2
until_ok 10 port_of br-vlansw2 ath2
ports > /var/on.ports
sed -n 's/^\([^ ]*\) *| \([0-9]*\) *| \(.*\)$/\1 \2 \3/p' /proc/net/vlan/config | sort > /var/on.vlans

mark "priority maps"
# --- priority maps
zelvlan --app=vlan-priority >/dev/null 2>&1
for d in eth0.10 ath0.10 eth0.20 eth0.30 ath0.30 ath1.30 ath2.30 eth0.40; do
    echo "$d $(grep -o 'INGRESS.*' /proc/net/vlan/$d | tr -s ' ')"
    echo "$d $(grep -o 'EGRESS.*' /proc/net/vlan/$d | tr -s ' ')"
done > /var/maps

mark "a client of ZelGuest"
# --- a client of ZelGuest before vlan-wpa, and the daemons moved
station guest ZelGuest guest-passphrase 192.168.20.50/24 2>/var/guest.before
zelvlan --app=vlan-wpa >/dev/null 2>&1
until_ok 30 port_of br-vlan20 ath1
until_ok 30 connected guest 2 || echo "the guest station did not join again" > /var/guest.again
until_ok 30 sh -c 'wpa_cli -p /var/run/wpa_supplicant -i ath2 status | grep -q wpa_state=COMPLETED'
ports > /var/wpa.ports
grep '^bridge=' /var/run/hostapd-ath0.conf /var/run/hostapd-ath1.conf > /var/wpa.bridges
wpa_cli -p /var/run/wpa_supplicant -i ath2 status | grep -E '^(wpa_state|ssid)=' > /var/backhaul.state
ip netns exec upstream-ath2 ls /sys/class/net/br-up/brif > /var/backhaul.upstream

mark "more clients"
# --- more clients: ZelOffice untagged and on its VLAN 10, a wrong key
station office ZelOffice office-passphrase 192.168.1.50/24 2>/var/office.err &
station tagged ZelOffice office-passphrase 192.168.10.50/24 10 2>/var/tagged.err &
station bad ZelOffice not-the-passphrase 2>/var/bad.err; echo "bad $?" > /var/bad.status
wait

capture() { ns=$1 out=$2; shift 2; ip netns exec $ns tcpdump -Z root -l -e -n "$@" > $out 2>/dev/null & }
capture switch /var/trunk.frames -i trunk icmp or arp; p1=$!
capture guest /var/guest.heard -i sta ether src "$(mac office)"; p2=$!
capture office /var/office.heard -i sta ether src "$(mac guest)"; p3=$!
sleep 2
{
    ping_from office 192.168.1.254
    ping_from tagged 192.168.10.254
    ping_from guest 192.168.20.254
    # Its own VLAN's host only: the LAN's is not on VLAN 20.
    in_ns guest ip addr add 192.168.1.51/24 dev sta
    ping_from guest 192.168.1.254
} > /var/pings
# Broadcasts on either side, which a shared segment would carry across.
in_ns office arping -c 2 -I sta 192.168.1.254 >/dev/null 2>&1
in_ns guest arping -c 2 -I sta 192.168.20.254 >/dev/null 2>&1
sleep 1
kill $p1 $p2 $p3
wait
requests /var/trunk.frames > /var/trunk.requests
for s in office guest; do
    echo "$s $(grep " $(mac $s) > ff:ff:ff:ff:ff:ff, .*ARP" /var/trunk.frames |
        sed -n 's/.*: \(vlan [0-9]*\), p.*/\1/p; t; s/.*/untagged/p' | sort -u)"
done > /var/trunk.broadcasts

mark "the web server"
# --- the web server on every VLAN address, also from a client
zelvlan --app=vlan-set-uhttpd -webport=8080
/etc/init.d/uhttpd restart
until_ok 20 sh -c 'netstat -ltn | grep -q 192.168.20.1:8080'
netstat -ltn | awk '$4 ~ /:8080$/ {print $4}' | sort > /var/web.listen
for a in 127.0.0.1 192.168.1.1 192.168.10.1 192.168.20.1; do
    echo "$a $(wget -q -O - http://$a:8080/ 2>/dev/null || echo refused)"
done > /var/web.pages
echo "guest $(in_ns guest wget -q -O - http://192.168.20.1:8080/ 2>/dev/null || echo refused)" >> /var/web.pages

mark "the driver"
# --- the driver's answer to 30 dBm: the world domain's 20, the US's 30,
# and a channel's lower limit
zelmaxtxpower --app=get-maxtxpower -ifname=ath0
echo "world $(cat /var/max_txpower_ath0) $(iw dev ath0 info | grep -o 'txpower [0-9.]* dBm')" > /var/txpower
iw reg set US
until_ok 10 sh -c 'iw reg get | grep -q "country US"'
zelmaxtxpower --app=get-maxtxpower -ifname=ath0
echo "US $(cat /var/max_txpower_ath0) $(iw dev ath0 info | grep -o 'txpower [0-9.]* dBm')" >> /var/txpower
# a radio whose channel allows less: an AP on channel 36 under MX (17 dBm)
iw reg set MX
until_ok 10 sh -c 'iw reg get | grep -q "country MX"'
radio=$(for d in /sys/class/net/*; do [ -e $d/phy80211 ] && case ${d##*/} in ath*) ;; *) echo ${d##*/}; break ;; esac; done)
ip link set "$radio" down && ip link set "$radio" name ath9
printf 'interface=ath9\ndriver=nl80211\nssid=Limited\nhw_mode=a\nchannel=36\n' > /var/run/hostapd-ath9.conf
hostapd -B -P /var/run/wifi-ath9.pid /var/run/hostapd-ath9.conf >/dev/null
until_ok 20 sh -c 'iw dev ath9 info | grep -q "channel 36"'
zelmaxtxpower --app=get-maxtxpower -ifname=ath9
echo "MX ath9 $(cat /var/max_txpower_ath9) $(iw dev ath9 info | grep -o 'txpower [0-9.]* dBm')" >> /var/txpower

mark "refresh-lan-ip"
# --- refresh-lan-ip after netifd set a new LAN address
uci set network.lan.ipaddr=192.168.1.77
uci commit network
/etc/init.d/network reload
until_ok 20 sh -c 'ip -4 -o addr show dev br-lan | grep -q 192.168.1.77'
zelvlan --app=refresh-lan-ip
uci get vlan.cfg029c96.ip > /var/refresh.stored

mark "the VLAN switch off"
# --- the VLAN switch off
uci set vlanac.activation.enabled=0
uci commit vlanac
zelvlan --app=vlan-mgt >/dev/null 2>&1
/etc/init.d/network reload
until_ok 20 sh -c '! ls /sys/class/net | grep -q "\.\|br-vlan"'
ls /sys/class/net | grep '\.\|br-vlan' > /var/off.left
sed -n 's/^\([^ ]*\) *| .*/\1/p' /proc/net/vlan/config > /var/off.vlans
ports > /var/off.ports
mark end

# A program that reboots reboots the VM, which ends the run.
zelpingwdog --app=pingwdog -ipaddr=$SIM_SILENT_ADDR -interval=1 -delay=0 -failcount=1
echo "the watchdog returned" > /var/not-rebooted
sleep 30
INSIDE
sim --vm --settings "$ZEL_SOURCE_DIR/sim/settings/default" -- sh "$work_dir/inside.sh"
expect_status 0 "the VM run, ended by the watchdog's reboot"
expect_file_has "$SIM_ERR" "sim: the access point rebooted"
expect_no_file "$KEPT/var/not-rebooted" "the reboot came before the watchdog returned"
expect_file_has "$KEPT/etc/reboot_history" "10.99.0.2"
V=$KEPT/var
page="zeltools simulated access point"

# --- vlan-mgt and the reload: real 802.1Q devices in real bridges; each
# untagged Wi-Fi interface joins the bridge of its network.
expect_eq "$(cat "$V/on.vlans")" "ath0.10 10 ath0
ath0.30 30 ath0
ath1.30 30 ath1
ath2.30 30 ath2
eth0.10 10 eth0
eth0.20 20 eth0
eth0.30 30 eth0
eth0.40 40 eth0" "the kernel's VLAN devices"
expect_eq "$(cat "$V/on.ports")" "br-lan: ath0 ath1 eth0 
br-vlan10: ath0.10 eth0.10 
br-vlan20: eth0.20 
br-vlan30: ath0.30 ath1.30 ath2.30 eth0.30 
br-vlansw2: ath2 eth0.40 " "the kernel's bridge ports after the reload (ZelGuest's hostapd holds ath1 in br-lan)"

# --- vlan-priority: every tag priority to the VLAN's, every packet
# priority to the VLAN's tag priority
expect_eq "$(cat "$V/maps")" "eth0.10 INGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:7 6:0 7:0
eth0.10 EGRESS priority mappings: 0:5 1:5 2:5 3:5 4:5 5:5 6:5 7:5 
ath0.10 INGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:7 6:0 7:0
ath0.10 EGRESS priority mappings: 0:5 1:5 2:5 3:5 4:5 5:5 6:5 7:5 
eth0.20 INGRESS priority mappings: 0:0 1:0 2:7 3:0 4:0 5:0 6:0 7:0
eth0.20 EGRESS priority mappings: 0:2 1:2 2:2 3:2 4:2 5:2 6:2 7:2 
eth0.30 INGRESS priority mappings: 0:7 1:0 2:0 3:0 4:0 5:0 6:0 7:0
eth0.30 EGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:0 6:0 7:0 
ath0.30 INGRESS priority mappings: 0:7 1:0 2:0 3:0 4:0 5:0 6:0 7:0
ath0.30 EGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:0 6:0 7:0 
ath1.30 INGRESS priority mappings: 0:7 1:0 2:0 3:0 4:0 5:0 6:0 7:0
ath1.30 EGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:0 6:0 7:0 
ath2.30 INGRESS priority mappings: 0:7 1:0 2:0 3:0 4:0 5:0 6:0 7:0
ath2.30 EGRESS priority mappings: 0:0 1:0 2:0 3:0 4:0 5:0 6:0 7:0 
eth0.40 INGRESS priority mappings: 0:0 1:0 2:0 3:0 4:7 5:0 6:0 7:0
eth0.40 EGRESS priority mappings: 0:4 1:4 2:4 3:4 4:4 5:4 6:4 7:4 " "the kernel's priority maps"

# --- vlan-wpa: hostapd serves ath1 in br-vlan20, its client is back; the
# Backhaul station associates through br-vlansw2 with its upstream
expect_eq "$(cat "$V/wpa.bridges")" "/var/run/hostapd-ath0.conf:bridge=br-lan
/var/run/hostapd-ath1.conf:bridge=br-vlan20" "hostapd's bridges after vlan-wpa"
expect_eq "$(cat "$V/wpa.ports")" "br-lan: ath0 eth0 
br-vlan10: ath0.10 eth0.10 
br-vlan20: ath1 eth0.20 
br-vlan30: ath0.30 ath1.30 ath2.30 eth0.30 
br-vlansw2: ath2 eth0.40 " "the kernel's bridge ports after vlan-wpa"
expect_no_file "$V/guest.again" "ZelGuest's client associated again"
expect_eq "$(cat "$V/backhaul.state")" "ssid=Backhaul
wpa_state=COMPLETED" "the Backhaul station through br-vlansw2"
expect_eq "$(cat "$V/backhaul.upstream")" "wlan3.sta1" "the upstream AP took it as a four-address station"

# --- the clients: a wrong key is refused; each reaches its VLAN's host, its
# frames tagged on the trunk with that VLAN and its priority
expect_eq "$(cat "$V/bad.status")" "bad 1" "a wrong key joins nothing"
expect_file_has "$V/bad.err" "reason=WRONG_KEY"
expect_eq "$(cat "$V/pings")" "office 192.168.1.254 answered
tagged 192.168.10.254 answered
guest 192.168.20.254 answered
guest 192.168.1.254 unanswered" "what each client reaches"
expect_eq "$(cat "$V/trunk.requests")" "192.168.1.50 > 192.168.1.254 untagged
192.168.10.50 > 192.168.10.254 vlan 10 p 5
192.168.20.50 > 192.168.20.254 vlan 20 p 2" "echo requests on the trunk"
expect_eq "$(cat "$V/trunk.broadcasts")" "office untagged
guest vlan 20" "each client's broadcasts on the trunk (ZelGuest's asking for the LAN's host too)"
expect_eq "$(grep -c . "$V/guest.heard")" 0 "frames of ZelOffice's client heard on ZelGuest"
expect_eq "$(grep -c . "$V/office.heard")" 0 "frames of ZelGuest's client heard on ZelOffice"

# --- the web server on the loopback and every VLAN in use, all present now
expect_eq "$(cat "$V/web.listen")" "127.0.0.1:8080
192.168.1.1:8080
192.168.10.1:8080
192.168.20.1:8080" "uhttpd listens where vlan-set-uhttpd said"
expect_eq "$(cat "$V/web.pages")" "127.0.0.1 $page
192.168.1.1 $page
192.168.10.1 $page
192.168.20.1 $page
guest $page" "pages, the last one fetched by ZelGuest's client"

# --- the driver's grant, recorded and in force
expect_eq "$(cat "$V/txpower")" "world ath0:20 txpower 20.00 dBm
US ath0:30 txpower 30.00 dBm
MX ath9 ath9:17 txpower 17.00 dBm" "zelmaxtxpower's record and the driver's power"
expect_eq "$(cat "$V/refresh.stored")" "192.168.1.77" "refresh-lan-ip stored netifd's new LAN address"

# --- the VLAN switch off: nothing of the VLANs is left in the kernel
expect_eq "$(cat "$V/off.left")" "" "VLAN devices and bridges left"
expect_eq "$(cat "$V/off.vlans")" "" "the kernel's VLAN devices"
expect_eq "$(cat "$V/off.ports")" "br-lan: ath0 eth0 " "bridges with the VLAN switch off"
finish
