// netifd's own script (/lib/netifd/main.uc), in the VM only: the Wi-Fi
// start-up's part that a device's netifd-managed Wi-Fi plays. netifd makes
// no device of its own for a wireless interface (one with phy80211): the
// Wi-Fi side hands it over. Every athN is handed over at each configuration
// load, before the networks' member lists are read, so that a member such
// as ath1.30 finds its base device whichever network ath1 itself serves.
import { lsdir, access } from "fs";

function hand_over_wifi()
{
	for (let name in lsdir("/sys/class/net") ?? [])
		if (substr(name, 0, 3) == "ath" && access(`/sys/class/net/${name}/phy80211`))
			netifd.device_set(name, { external: 2 });
}

netifd.cb = {
	config_init: hand_over_wifi,
};
