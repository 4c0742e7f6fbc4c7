# Every command that could restart or stop the machine, and every directory
# where a real one may live. The sandbox puts the fake reboot on its PATH
# under each name, binds it over each real one, leaves busybox's applets of
# these names out, and refuses to start while any of them leads elsewhere.
# Plain sh: sim/run sources it, and so do the tests that check the coverage.
reboot_names="reboot halt poweroff shutdown telinit init linuxrc systemctl kexec systemd systemd-shutdown"
reboot_dirs="/sbin /usr/sbin /bin /usr/bin /usr/local/sbin /usr/local/bin /lib/systemd /usr/lib/systemd"
