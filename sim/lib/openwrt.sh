# Inside the sandbox, with --openwrt: the platform's own userland, built by
# scripts/build-openwrt (SIM_OPENWRT), at its device paths, and started as a
# device's boot starts it: logd (the syslog), ubusd, procd as the service
# manager, then netifd and uhttpd as procd services, and reload_config once.
#
# Its files go into overlays of this sandbox only: /usr (which holds /bin,
# /sbin and /lib on the build machine) and /dev, so that /dev/log is ours.

# A /dev of the sandbox's own: the device nodes programs need, bound in from
# the host's, and room for the syslog socket.
make_private_dev() {
    local hold=/run/sim/host-dev node
    mkdir -p "$hold"
    mount --rbind /dev "$hold"
    mount -t tmpfs -o mode=755 sim-dev /dev
    for node in null zero full random urandom tty ptmx rfkill; do
        [ -e "$hold/$node" ] || continue
        touch "/dev/$node"
        mount --bind "$hold/$node" "/dev/$node"
    done
    mkdir -p /dev/pts /dev/shm
    [ -d "$hold/pts" ] && mount --rbind "$hold/pts" /dev/pts
    mount -t tmpfs -o mode=1777 sim-shm /dev/shm
    ln -s /proc/self/fd /dev/fd
    ln -s /proc/self/fd/0 /dev/stdin
    ln -s /proc/self/fd/1 /dev/stdout
    ln -s /proc/self/fd/2 /dev/stderr
    umount -l "$hold"
    rmdir "$hold"
}

# Makes DIR writable in this sandbox only (an overlay whose upper layer is
# under /run), with the files of LOWER over DIR's own when given, unless it
# is a link into a directory that already is, or made so already.
make_writable() { # dir [lower]
    local dir=$1 name
    [ -L "$dir" ] && return 0
    name=${dir//\//-}
    [ -d "/run/sim/overlay/$name" ] && return 0
    mkdir -p "/run/sim/overlay/$name/upper" "/run/sim/overlay/$name/work"
    mount -t overlay "sim$name" \
        -o "lowerdir=${2:+$2:}$dir,upperdir=/run/sim/overlay/$name/upper,workdir=/run/sim/overlay/$name/work" "$dir"
}

# The userland's programs and scripts where a device has them. Runs before
# make_tools, whose binds over /bin/sh and the reboot paths must lie on top.
install_openwrt() {
    local root=$SIM_OPENWRT dir
    make_private_dev
    for dir in /usr /bin /sbin /lib; do make_writable "$dir"; done
    mkdir -p /usr/sbin /usr/bin /usr/share/libubox /lib/netifd
    install -m 755 "$root"/sbin/{ubusd,procd,netifd,logd,logread,validate_data} /sbin/
    # The platform's store is /sbin/uci, which the platform's scripts call.
    install -m 755 "$root/bin/uci" /sbin/uci
    install -m 755 "$root/bin/ubus" /bin/ubus
    install -m 755 "$root/bin/jsonfilter" "$root/bin/jshn" /usr/bin/
    install -m 755 "$root/bin/uhttpd" /usr/sbin/uhttpd
    install -m 644 "$root/share/libubox/jshn.sh" /usr/share/libubox/jshn.sh
    cp -r "$root/lib/netifd/." /lib/netifd/
    # The run-time scripts (rc.common, functions.sh, procd.sh, the init
    # scripts, ifup, reload_config, ...); the settings bring /etc/config.
    (cd "$root/files" && find . -type f ! -path './etc/config/*' ! -name SOURCES) |
        while IFS= read -r f; do
            mkdir -p "$(dirname "/$f")"
            cp "$root/files/$f" "/$f"
        done
    # The stage's init scripts, and its configs where the settings bring none.
    for f in "$SIM_STAGE"/etc/init.d/* "$SIM_STAGE"/etc/config/*; do [ ! -f "$f" ] || [ -e "/etc/${f#"$SIM_STAGE/etc/"}" ] || cp "$f" "/etc/${f#"$SIM_STAGE/etc/"}"; done
    # Its programs where the init scripts start them, under their own names.
    for f in "$SIM_STAGE"/usr/sbin/zel*; do
        if [ -e "$f" ] && [ ! -e "/usr/sbin/${f##*/}" ]; then ln -s "$f" "/usr/sbin/${f##*/}"; fi
    done
    ln -sf /sbin/ifup /sbin/ifdown
    mkdir -p /etc/rc.d /var/lock /tmp/.uci
    chmod 1777 /var/lock
    # The web server's pages. A device has them in /www; the sandbox's root
    # is the build machine's and stays untouched, so the sample settings
    # serve /var/www.
    mkdir -p /var/www
    echo "zeltools simulated access point" > /var/www/index.html
}

# The Wi-Fi start-up of a device hands each interface to the network that
# its wifi-iface names (lan when none), and netifd puts it into that
# network's bridge. A network that is not configured (yet) gets none.
attach_wifi() {
    local n count net
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        [ "$(setting "wireless.@wifi-iface[$n].disabled")" = 1 ] && continue
        net=$(setting "wireless.@wifi-iface[$n].network")
        PATH=$sandbox_path ubus -S list "network.interface.${net:-lan}" >/dev/null 2>&1 || continue
        PATH=$sandbox_path ubus call "network.interface.${net:-lan}" add_device "{ \"name\": \"ath$n\" }" \
            >/dev/null 2>&1 || echo "sim: ath$n could not join the network '${net:-lan}'" >&2
    done
}

# Waits up to about twenty seconds for COMMAND to succeed (a loaded machine
# runs several sandboxes at once).
openwrt_wait() {
    local n
    for n in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Fails with the last lines of the userland's log, which say why.
openwrt_fail() {
    PATH=$sandbox_path logread 2>/dev/null | tail -15 | sed 's/^/  log: /' >&2
    fail "$@"
}

# The daemons, as a device's boot starts them. Their logs go to logd: read
# them with logread.
start_openwrt() {
    local path=$sandbox_path
    # shellcheck disable=SC2016
    PATH=$path setsid logd -S 64 </dev/null >/dev/null 2>&1 &
    openwrt_wait test -S /dev/log || fail "logd did not start"
    PATH=$path setsid ubusd </dev/null >/dev/null 2>&1 &
    openwrt_wait test -S /var/run/ubus/ubus.sock || fail "ubusd did not start"
    # Not PID 1, procd serves services over ubus; its own lines go to syslog.
    PATH=$path setsid sh -c 'procd -S 2>&1 | logger -t procd' </dev/null >/dev/null 2>&1 &
    openwrt_wait env PATH="$path" ubus list service || fail "procd did not start"
    PATH=$path /etc/init.d/network start >/dev/null 2>&1 || openwrt_fail "the network service did not start"
    openwrt_wait env PATH="$path" ubus list network.interface.wan ||
        openwrt_fail "netifd did not bring up the network"
    openwrt_wait sh -c 'PATH='"$path"' ifstatus wan | grep -q "\"up\": true"' ||
        openwrt_fail "the uplink (wan) did not come up"
    attach_wifi
    if [ -f /etc/config/uhttpd ]; then
        PATH=$path /etc/init.d/uhttpd start >/dev/null 2>&1 || openwrt_fail "the web server did not start"
    fi
    # As at a device's boot: reload_config records each config, so that a
    # later committed change reloads the services that watch it.
    PATH=$path reload_config >/dev/null 2>&1 || true
}
