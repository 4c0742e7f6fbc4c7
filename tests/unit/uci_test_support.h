// What the configuration store's tests share: a private config and save
// directory under /tmp for each test, whole-file reads and writes, argument
// vectors, and the store of two configs driven in process.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "uci_commands.h"
#include "uci_files.h"

namespace uci_test {

// The file's text, or "<absent>".
inline std::string read_file(const std::string& path)
{
    std::string text;
    return uci::read_file(path, text) ? text : "<absent>";
}

// Writes a new file and renames it into place, as a commit does, so that a
// reader never sees half of it.
inline bool write_file(const std::string& path, const std::string& text)
{
    std::string temp = path + ".new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok && rename(temp.c_str(), path.c_str()) == 0;
}

// The argv of a program run with args: pointers into them, then a null
// pointer.
inline std::vector<char*> argv_of(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return argv;
}

// root/config as the config directory, root/save as the save directory
// (made when first needed); the whole tree goes after the test.
class temp_dirs : public ::testing::Test {
protected:
    std::string root, conf, save;

    void SetUp() override
    {
        char tmpl[] = "/tmp/uci_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        conf = root + "/config";
        save = root + "/save";
        ASSERT_EQ(mkdir(conf.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
};

struct result {
    int status;
    std::string out, err;
};

inline constexpr char vlan_fixture[] =
    "config vlan\n\toption vlanid '1'\n\toption ip '192.168.1.1'\n\n"
    "config vlan\n\toption vlanid '10'\n\tlist ports 'eth0'\n\tlist ports 'ath0'\n\toption empty ''\n\n"
    "config activation 'activation'\n\toption enabled '1'\n";

// Values that the two forms of show print differently.
inline constexpr char wireless_fixture[] =
    "config wifi-iface\n\toption ssid 'Bob'\"'\"'s \"net\"'\n\toption mode 'ap'\n"
    "\tlist member 'eth0.10'\n\tlist member 'ath1 x'\n\tlist member 'ath2'\n\toption bridge 'All Others'\n"
    "\toption empty ''\n";

// The vlan and wireless configs above in the private config directory; the
// uci command run in process on them.
class uci_store : public temp_dirs {
protected:
    void SetUp() override
    {
        temp_dirs::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(write_file(conf + "/vlan", vlan_fixture));
        ASSERT_TRUE(write_file(conf + "/wireless", wireless_fixture));
    }

    // The host's settings file never decides the form of show here.
    result uci(std::vector<std::string> args, uci::show_form form = uci::show_form::bare)
    {
        std::vector<std::string> all = {"uci", "-c", conf, "-t", save};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv = argv_of(all);
        result r;
        r.status = uci::run_command(static_cast<int>(all.size()), argv.data(), r.out, r.err, form);
        return r;
    }

    std::string out_of(std::vector<std::string> args, uci::show_form form = uci::show_form::bare)
    {
        result r = uci(args, form);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    // Each command succeeds and prints nothing.
    void silently(std::vector<std::vector<std::string>> commands)
    {
        for (const std::vector<std::string>& args : commands)
            EXPECT_EQ(out_of(args), "") << args.at(0) << " " << args.back();
    }

    std::string staged() { return read_file(save + "/vlan"); }
};

}  // namespace uci_test
