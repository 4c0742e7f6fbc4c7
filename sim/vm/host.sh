# The host side of sim/run --vm: boots the access point's VM (scripts/build-vm
# made its kernel and initramfs in build/vm) with the build machine's root
# shared read-only over virtio-9p and a run folder of its own shared
# writable, where the guest finds what to run and leaves its exit status.
# COMMAND's output comes out on two virtio serial ports, the kernel's on the
# serial console, into the run folder's console.log. The VM has no network
# device: nothing it sends leaves it.

# Fails unless the VM's parts and qemu are here; sets vm_dir.
check_vm() {
    vm_dir=${ZEL_VM:-$sim_dir/../build/vm}
    command -v qemu-system-x86_64 >/dev/null ||
        fail "--vm needs qemu-system-x86_64 (apt-get install qemu-system-x86, or scripts/setup)"
    [ -f "$vm_dir/vmlinuz" ] && [ -f "$vm_dir/initramfs.img" ] && [ -f "$vm_dir/kernel.version" ] ||
        fail "no VM in '$vm_dir': build it with scripts/build-vm (or name one with ZEL_VM=DIR)"
    vm_dir=$(realpath "$vm_dir")
}

boot_vm() { # COMMAND...
    local run accel kernel status=
    run=$(mktemp -d "${TMPDIR:-/tmp}/zel-vm.XXXXXX")
    check_visible "temporary folder" "$run"
    carry+=$'\n'$run
    # shellcheck disable=SC2064
    trap "rm -rf '$run'" EXIT

    # What the guest's sim/run --inside-vm reads: the same variables as the
    # namespace sandbox's, the command, and the host's boot id, which the
    # guest's kernel must not have.
    {
        local SIM_SETTINGS=$settings SIM_KEEP=$keep SIM_STAGE=$stage SIM_CARRY=$carry
        local SIM_STORE_FORM=$store_form SIM_STORE=$store SIM_OPENWRT=$openwrt_dir SIM_OPENWRT_START=1
        local SIM_VM=$vm_dir SIM_HOST_BOOT_ID SIM_VM_RUN=$run SIM_CARRY_PWD=$PWD
        SIM_HOST_BOOT_ID=$(cat /proc/sys/kernel/random/boot_id)
        local -a SIM_COMMAND=("$@")
        declare -p SIM_SETTINGS SIM_KEEP SIM_STAGE SIM_CARRY SIM_STORE_FORM SIM_STORE SIM_OPENWRT \
            SIM_OPENWRT_START SIM_VM SIM_HOST_BOOT_ID SIM_VM_RUN SIM_CARRY_PWD SIM_COMMAND | sed 's/^declare -[a-z-]* //'
    } > "$run/env"
    echo "$sim_dir/run" > "$run/sim_run"
    [ -z "$keep" ] || echo "$keep" > "$run/keep"
    mkfifo "$run/out.in" "$run/out.out" "$run/err.in" "$run/err.out"

    accel=$(cat "$vm_dir/accel" 2>/dev/null || echo tcg)
    kernel=$(cat "$vm_dir/kernel.version")
    local -a qemu=(qemu-system-x86_64 -accel "$accel" -smp 2 -m 1024 -nodefaults -display none -no-reboot
        -kernel "$vm_dir/vmlinuz" -initrd "$vm_dir/initramfs.img"
        -append "console=ttyS0 panic=-1 quiet zel.run=$run"
        -serial "file:$run/console.log"
        -fsdev "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap"
        -device virtio-9p-pci,fsdev=root,mount_tag=root
        -fsdev "local,id=run,path=$run,security_model=none"
        -device virtio-9p-pci,fsdev=run,mount_tag=run
        -device virtio-serial-pci
        -chardev "pipe,id=out,path=$run/out" -device virtserialport,chardev=out,name=stdout
        -chardev "pipe,id=err,path=$run/err" -device virtserialport,chardev=err,name=stderr)
    [ -z "$keep" ] || qemu+=(-fsdev "local,id=keep,path=$keep,security_model=none"
        -device virtio-9p-pci,fsdev=keep,mount_tag=keep)
    [ "$accel" = tcg ] && qemu+=(-cpu max)

    echo "sim: the access point is a VM: Debian's kernel $kernel under qemu with ${accel^^}" >&2
    cat "$run/out.out" &
    local out_pid=$!
    cat "$run/err.out" >&2 &
    local err_pid=$!
    # Signals end qemu, and with it the VM, like pulling its plug.
    "${qemu[@]}" </dev/null >"$run/qemu.log" 2>&1 || status=$?
    # A reader still waiting for qemu to open its pipe (it failed at once)
    # gets its end of file too: opened both ways, a pipe opens at once.
    local fifo
    for fifo in "$run/out.out" "$run/err.out"; do
        exec 3<>"$fifo"
        exec 3>&-
    done
    wait "$out_pid" "$err_pid" 2>/dev/null || true

    if [ -n "$status" ]; then
        sed 's/^/  qemu: /' "$run/qemu.log" >&2
        fail "qemu failed (status $status)"
    fi
    local end
    end=$(cat "$run/end" 2>/dev/null)
    case $end in
        "exit "[0-9]*) exit "${end#exit }" ;;
        "reboot "*)
            echo "sim: the access point rebooted (${end#reboot }): the run ends here" >&2
            exit 0 ;;
    esac
    # What the kernel and the initramfs said, without the kernel's traces.
    grep -v "^\[ *[0-9.]*\]  " "$run/console.log" | tail -20 | sed 's/^/  console: /' >&2
    fail "the VM ended before COMMAND did"
}
