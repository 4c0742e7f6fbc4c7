# Inside the sandbox: busybox applets first on PATH, real brctl, the fakes;
# the fake reboot under every name of reboot_names.sh, on PATH and bound over
# every real one; uplink-host, whose program is built from the sources in
# sim/uplink_host/ on first use.

make_tools() {
    local busybox name dir path real
    busybox=$(realpath "$(command -v busybox)")
    cp "$sim_dir"/fakes/* "$fakes"/
    chmod 755 "$fakes"/*
    # Besides the reboot names: tools the sandbox brings otherwise (brctl,
    # vconfig, ip), and ones that have no business there.
    local left_out=" $reboot_names brctl vconfig ip swapoff switch_root run-init "
    # With the platform's userland, its own ifup, ifdown and logread.
    [ -z "$SIM_OPENWRT_START" ] || left_out+="ifup ifdown logread "
    # One call makes every applet's link (a link each by ln would cost a
    # process each, most of the sandbox's start-up); then the left-out go.
    "$busybox" --install -s "$bin"
    # shellcheck disable=SC2086
    (cd "$bin" && rm -f $left_out)
    ln -sf "$(realpath "$(command -v brctl)")" "$bin/brctl"
    for name in $reboot_names; do
        ln -sf "$fakes/reboot" "$bin/$name"
    done
    ln -sf "$fakes/vconfig" "$bin/vconfig"
    ln -sf "$fakes/iwconfig" "$bin/iwconfig"
    ln -sf "$fakes/daemon" "$bin/hostapd"
    ln -sf "$fakes/daemon" "$bin/wpa_supplicant"
    # The platform's store in place of ours.
    [ "$SIM_STORE" != platform ] || ln -sf "$SIM_OPENWRT/bin/uci" "$bin/uci"
    # uplink-host builds its program when first asked (under a second): few
    # sandboxes need it, and every device test starts some.
    install -m 755 "$sim_dir/tools/uplink-host" "$bin/uplink-host"
    printf '%s\n' "$sim_dir/uplink_host" > /run/sim/uplink_host.source

    # /bin/sh is busybox ash, as on the device.
    mount --bind "$busybox" /bin/sh

    for dir in $reboot_dirs; do
        for name in $reboot_names; do
            path=$dir/$name
            [ -e "$path" ] || continue
            [ "$path" -ef "$fakes/reboot" ] && continue
            real=$(realpath "$path")
            [ "$real" -ef "$busybox" ] &&
                fail "$path leads to busybox, which can't be covered by the fake reboot; not starting"
            mount --bind "$fakes/reboot" "$real" || fail "can't cover $path with the fake reboot; not starting"
        done
    done
}

# Nothing runs before this holds.
check_safety() {
    [ "$(readlink /proc/self/ns/pid)" != "$SIM_HOST_PIDNS" ] || fail "not in a PID namespace of its own"
    [ "$(readlink /proc/self/ns/net)" != "$SIM_HOST_NETNS" ] || fail "not in a network namespace of its own"
    [ $$ -eq 1 ] || fail "not the first process of its PID namespace"
    local dir name path
    for dir in $reboot_dirs; do
        for name in $reboot_names; do
            path=$dir/$name
            [ -e "$path" ] || continue
            [ "$path" -ef "$fakes/reboot" ] || fail "$path does not lead to the fake reboot; not starting"
        done
    done
    for name in $reboot_names; do
        path=$(PATH=$sandbox_path command -v "$name") || fail "no $name on the sandbox's PATH"
        [ "$path" -ef "$fakes/reboot" ] || fail "$name on PATH is $path, not the fake; not starting"
    done
    [ /bin/sh -ef "$(command -v busybox)" ] || fail "/bin/sh is not busybox"
}
