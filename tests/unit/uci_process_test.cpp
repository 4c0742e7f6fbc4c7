// The built uci program run as separate processes on private directories:
// what callers read from "uci get KEY -q", many processes committing to one
// config at once, and commits killed at random moments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "uci_config.h"
#include "uci_test_support.h"

namespace {

using uci_test::read_file;
using uci_test::write_file;

const char uci_program[] = ZEL_BINARY_DIR "/uci/uci";

// Starts uci with the arguments, its output going to the given files.
pid_t start_uci(const std::vector<std::string>& args, const std::string& out_path, const std::string& err_path)
{
    std::vector<std::string> all = {"uci"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv = uci_test::argv_of(all);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, uci_program, &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Cross builds link their tests statically and run them under user-mode
// emulation, where every exec costs tens of milliseconds; there the
// thousands of runs of the load tests are left to the host build.
bool emulated_build()
{
    return getauxval(AT_BASE) == 0;
}

// Under the address and undefined-behaviour sanitizers each uci run costs
// some ten times as much as in an optimised build (its start-up alone),
// and the sanitizers look at each run on its own: what they add is found
// in the first few runs of every path. The load test there runs a fifth of
// its rounds; the host build runs them all for the interleavings.
bool sanitized_build()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

int wait_status(pid_t pid)
{
    int st = 0;
    while (waitpid(pid, &st, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

struct run_result {
    int status;
    std::string out, err;
};

class uci_process : public uci_test::temp_dirs {
protected:
    void SetUp() override
    {
        temp_dirs::SetUp();
        if (HasFatalFailure())
            return;
        // Under user-mode emulation of a cross build the test may not be
        // able to start the target's program at all.
        pid_t pid = start_uci({}, root + "/probe.out", root + "/probe.err");
        int status = pid < 0 ? -1 : wait_status(pid);
        if (status != 1 || read_file(root + "/probe.err").rfind("Usage: uci ", 0) != 0)
            GTEST_SKIP() << "cannot run " << uci_program;
    }

    std::vector<std::string> with_dirs(std::vector<std::string> args, const std::string& savedir)
    {
        std::vector<std::string> all = {"-c", conf, "-t", savedir};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }

    run_result run(std::vector<std::string> args, const std::string& tag = "run")
    {
        std::string out = root + "/" + tag + ".out", err = root + "/" + tag + ".err";
        run_result r;
        pid_t pid = start_uci(with_dirs(args, save), out, err);
        r.status = pid < 0 ? -1 : wait_status(pid);
        r.out = read_file(out);
        r.err = read_file(err);
        return r;
    }
};

struct get_case {
    const char* key;
    int status;
    const char* out;
};

class uci_get_quiet : public uci_process, public ::testing::WithParamInterface<get_case> {};

TEST_P(uci_get_quiet, prints_value_or_nothing)
{
    ASSERT_TRUE(write_file(conf + "/network",
                           "config interface 'lan'\n\toption ipaddr '192.168.1.1'\n\toption gateway ''\n"
                           "\tlist dns '1.1.1.1'\n\tlist dns '8.8.8.8'\n"));
    run_result r = run({"get", GetParam().key, "-q"});
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(keys, uci_get_quiet,
                         ::testing::Values(get_case{"network.lan.ipaddr", 0, "192.168.1.1\n"},
                                           get_case{"network.lan.gateway", 0, "\n"},
                                           get_case{"network.lan.dns", 0, "1.1.1.1 8.8.8.8\n"},
                                           get_case{"network.lan.missing", 1, ""},
                                           get_case{"network.wan.ipaddr", 1, ""},
                                           get_case{"nothing.lan.ipaddr", 1, ""},
                                           get_case{"network..ipaddr", 1, ""}));

TEST_F(uci_process, errors_go_to_standard_error)
{
    ASSERT_TRUE(write_file(conf + "/network", "config interface 'lan'\n"));
    run_result r = run({"get", "network.lan.missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "uci: Entry not found\n");
    r = run({"frobnicate"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.rfind("Usage: uci ", 0), 0u);
}

// Each of 8 processes stages and commits 100 options of its own (20 in a
// sanitizer build) into one config, then reads each one back; meanwhile
// the file must always parse.
class uci_concurrent : public uci_process, public ::testing::WithParamInterface<bool> {};

TEST_P(uci_concurrent, commits_lose_nothing)
{
    if (emulated_build())
        GTEST_SKIP() << "load test: host build only";
    const bool shared_savedir = GetParam();
    const int processes = 8, options = sanitized_build() ? 20 : 100;
    ASSERT_TRUE(write_file(conf + "/conc", "config main 'main'\n\toption start '1'\n"));
    std::vector<pid_t> children;
    for (int k = 0; k < processes; ++k) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string savedir = shared_savedir ? save : save + std::to_string(k);
            std::string out = root + "/c" + std::to_string(k) + ".out";
            std::string err = root + "/c" + std::to_string(k) + ".err";
            int failures = 0;
            for (int i = 0; i < options; ++i) {
                std::string name = "p" + std::to_string(k) + "_" + std::to_string(i);
                std::string value = "v" + std::to_string(k) + " " + std::to_string(i);
                std::vector<std::vector<std::string>> steps = {{"set", "conc.main." + name + "=" + value},
                                                               {"commit", "conc"},
                                                               {"get", "conc.main." + name}};
                for (auto& step : steps) {
                    pid_t p = start_uci(with_dirs(step, savedir), out, err);
                    if (p < 0 || wait_status(p) != 0)
                        ++failures;
                }
                if (read_file(out) != value + "\n")
                    ++failures;
            }
            _exit(failures > 100 ? 100 : failures);
        }
        children.push_back(pid);
    }

    int parses = 0, parse_failures = 0;
    size_t running = children.size();
    std::vector<int> results(children.size(), -1);
    while (running > 0) {
        uci::package p;
        uci::parse_error perr;
        std::string text = read_file(conf + "/conc");
        ++parses;
        if (!uci::parse_config(text, p, perr) || p.sections.size() != 1)
            ++parse_failures;
        for (size_t c = 0; c < children.size(); ++c) {
            int st = 0;
            if (results[c] < 0 && waitpid(children[c], &st, WNOHANG) == children[c]) {
                results[c] = WIFEXITED(st) ? WEXITSTATUS(st) : 200;
                --running;
            }
        }
        sched_yield();
    }
    for (size_t c = 0; c < children.size(); ++c)
        EXPECT_EQ(results[c], 0) << "process " << c;
    EXPECT_EQ(parse_failures, 0) << "of " << parses;

    uci::package p;
    uci::parse_error perr;
    ASSERT_TRUE(uci::parse_config(read_file(conf + "/conc"), p, perr));
    ASSERT_EQ(p.sections.size(), 1u);
    EXPECT_EQ(p.sections[0].options.size(), static_cast<size_t>(processes * options + 1));
    for (int k = 0; k < processes; ++k)
        for (int i = 0; i < options; ++i) {
            uci::option* o = uci::find_option(p.sections[0], "p" + std::to_string(k) + "_" + std::to_string(i));
            ASSERT_NE(o, nullptr) << k << " " << i;
            EXPECT_EQ(o->value, "v" + std::to_string(k) + " " + std::to_string(i));
        }
    EXPECT_EQ(run({"changes"}).out, "");
}

INSTANTIATE_TEST_SUITE_P(save_directories, uci_concurrent, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "shared" : "separate");
                         });

// A commit killed at any moment leaves the old file or the new one, and its
// changes are neither lost nor applied twice.
TEST_F(uci_process, killed_commits_leave_old_or_new_file)
{
    if (emulated_build())
        GTEST_SKIP() << "load test: host build only";
    std::string old_text;
    for (int i = 0; i < 300; ++i)
        old_text += "config vlan\n\toption vlanid '" + std::to_string(i) + "'\n\tlist ports 'eth0'\n\n";
    old_text += "config interface 'lan'\n\toption proto 'static'\n";
    ASSERT_TRUE(write_file(conf + "/big", old_text));
    ASSERT_EQ(run({"set", "big.lan.ipaddr=10.1.2.3"}).status, 0);
    ASSERT_EQ(run({"add_list", "big.@vlan[7].ports=ath0"}).status, 0);
    ASSERT_EQ(run({"add", "big", "vlan"}).status, 0);
    const std::string staged = read_file(save + "/big");
    ASSERT_EQ(run({"commit", "big"}).status, 0);
    const std::string new_text = read_file(conf + "/big");
    ASSERT_NE(new_text, old_text);

    // How long a whole commit takes, counted in busy-loop steps, so the kills
    // below spread over all of it.
    long whole = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(write_file(conf + "/big", old_text));
        ASSERT_TRUE(write_file(save + "/big", staged));
        pid_t pid = start_uci(with_dirs({"commit", "big"}, save), root + "/k.out", root + "/k.err");
        ASSERT_GT(pid, 0);
        long steps = 0;
        int st = 0;
        while (waitpid(pid, &st, WNOHANG) == 0) {
            for (volatile int j = 0; j < 1000; ++j) {
            }
            steps += 1000;
        }
        whole = std::max(whole, steps);
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> spin(0, whole + whole / 5);
    int old_seen = 0, new_seen = 0;
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(write_file(conf + "/big", old_text));
        ASSERT_TRUE(write_file(save + "/big", staged));
        pid_t pid = start_uci(with_dirs({"commit", "big"}, save), root + "/k.out", root + "/k.err");
        ASSERT_GT(pid, 0);
        for (volatile long n = spin(random); n > 0; --n) {
        }
        kill(pid, SIGKILL);
        wait_status(pid);

        std::string now = read_file(conf + "/big");
        ASSERT_TRUE(now == old_text || now == new_text) << "round " << round;
        (now == old_text ? old_seen : new_seen)++;
        // Whatever was left, the view is the new one and a commit finishes it.
        ASSERT_EQ(run({"get", "big.@vlan[7].ports"}).out, "eth0 ath0\n") << "round " << round;
        ASSERT_EQ(run({"get", "big.@vlan[-1].vlanid"}).status, 1) << "round " << round;
        ASSERT_EQ(run({"commit", "big"}).status, 0);
        ASSERT_EQ(read_file(conf + "/big"), new_text) << "round " << round;
    }
    RecordProperty("old_files", old_seen);
    RecordProperty("new_files", new_seen);
    EXPECT_EQ(run({"show"}).err, "");
    // The last commit removed what killed ones left behind.
    std::string listing = root + "/listing";
    std::string cmd = "ls -a '" + conf + "' > '" + listing + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(listing), ".\n..\nbig\n");
}

}  // namespace
