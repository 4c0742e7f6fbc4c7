// The reboot limit across reboots: a boot of the device keeps only what is
// on flash.
#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <sys/time.h>

namespace {

using namespace ping_test;

class ping_reboot_limit : public ::testing::Test {
protected:
    const std::string count_file = "/etc/pingwdog_reboots";
    const std::string limit_notice = "Reboot limit of 2 reached: not rebooted";
    const std::string banner =
        "This is system tools of ping watchdog.\nThe target ip is 10.99.0.2 and the number of failure to reboot is 2\n";

    void SetUp() override
    {
        fake::reset();
        fake::set_clock(1796610512, 4120);
        fake::set_file_text("/etc/protocols", "icmp 1 ICMP\n");
    }

    // A boot of the device: the fake forgets the commands, sockets and
    // result file of the previous boot but keeps what is on flash (/etc).
    void reboot_device()
    {
        std::map<std::string, std::string> flash;
        for (const std::string& path : {std::string("/etc/protocols"), count_file})
            if (fake::has_file_text(path))
                flash[path] = fake::file_text(path);
        struct timeval now = fake::clock_now();
        fake::reset();
        fake::set_clock(now.tv_sec, now.tv_usec);
        for (const auto& f : flash)
            fake::set_file_text(f.first, f.second);
    }

    // The watchdog started with -failcount=2 -maxreboots=2. It runs until
    // it reboots, or until `waits` waits have returned when that is given.
    void start(watchdog_state& b, bool answering, int waits = -1)
    {
        if (waits >= 0)
            fake::fail_waits_after(waits, EBADF);
        if (answering)
            fake::set_send_hook([&b](const fake::sent_packet& sent) {
                packet_spec reply;
                reply.identifier = b.identifier;
                fake::deliver(from(sent.destination, make_packet(reply)));
            });
        b.settings.target_address = "10.99.0.2";
        b.settings.failure_count = 2;
        b.settings.max_reboots = 2;
        b.settings.result_dir = "/var/";
        EXPECT_EQ(start_watchdog(b), 0);
    }

    size_t reboots() const
    {
        auto commands = fake::system_commands();
        return static_cast<size_t>(std::count(commands.begin(), commands.end(), "reboot"));
    }
};

TEST_F(ping_reboot_limit, third_outage_in_a_row_is_not_rebooted_until_an_answer)
{
    for (int n = 1; n <= 2; ++n) {
        watchdog_state b;
        start(b, false);
        EXPECT_EQ(reboots(), 1u) << "outage " << n;
        EXPECT_EQ(fake::file_changes(), std::vector<std::string>{"write " + count_file + " " + std::to_string(n) + "\n"});
        reboot_device();
    }

    // The third outage: the notice instead of the reboot; the watchdog
    // watches on (four cycles of two waits here).
    {
        watchdog_state b;
        start(b, false, 8);
        EXPECT_EQ(reboots(), 0u);
        std::vector<std::string> commands = fake::system_commands();
        ASSERT_EQ(commands.size(), 2u);  // the start line, then the notice
        // Two boots of two timed-out cycles and the second before the
        // reboot, then two timed-out cycles of this one.
        std::string stamp = time_stamp_of({1796610512 + 2 * (2 + 1) + 2, 4120});
        EXPECT_EQ(commands[1], "echo '[" + stamp + "] " + limit_notice + "' >> /var/log/zelpingwdog");
        EXPECT_TRUE(fake::file_changes().empty()) << "the count stays as it is";
        EXPECT_EQ(fake::file_text(count_file), "2\n");
        EXPECT_EQ(fake::file_text(ping_test::result_path),
                  banner + timed_out + timed_out + limit_notice + "\r" + timed_out + timed_out);
        reboot_device();  // by hand
    }

    // An answer starts the count over: the file goes at the first reply.
    {
        watchdog_state b;
        start(b, true, 2);
        EXPECT_EQ(fake::file_changes(), std::vector<std::string>{"remove " + count_file});
        EXPECT_FALSE(fake::has_file_text(count_file));
        reboot_device();
    }

    // So the next outage reboots again, counted from one.
    watchdog_state b;
    start(b, false);
    EXPECT_EQ(reboots(), 1u);
    EXPECT_EQ(fake::file_changes(), std::vector<std::string>{"write " + count_file + " 1\n"});
}

TEST_F(ping_reboot_limit, count_goes_on_flash_after_the_history_line_just_before_the_reboot)
{
    fake::set_file_text(count_file, "1\n");
    std::vector<size_t> changes;
    fake::set_system_hook([&](const std::string&) { changes.push_back(fake::file_changes().size()); });
    watchdog_state b;
    start(b, false);
    // Start line, history line, reboot: only the reboot comes after the count.
    EXPECT_EQ(changes, (std::vector<size_t>{0, 0, 1}));
    EXPECT_EQ(fake::file_text(count_file), "2\n");
}

TEST_F(ping_reboot_limit, interface_restart_is_no_reboot_and_comes_before_the_limit)
{
    // One reboot in a row so far: the restart leaves the count alone, the
    // reboot after it is the second.
    fake::set_file_text(count_file, "1\n");
    watchdog_state b;
    b.settings.restart_interface = "wan";
    start(b, false);
    EXPECT_EQ(reboots(), 1u);
    EXPECT_EQ(fake::system_commands()[2], "ifup wan");
    EXPECT_EQ(fake::file_changes(), std::vector<std::string>{"write " + count_file + " 2\n"});
    reboot_device();

    // With the limit reached the outage still gets its restart first.
    watchdog_state c;
    c.settings.restart_interface = "wan";
    start(c, false, 4 * 2);
    EXPECT_EQ(reboots(), 0u);
    std::vector<std::string> commands = fake::system_commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[2], "ifup wan");
    EXPECT_NE(commands[3].find("] " + limit_notice + "' >> /var/log/zelpingwdog"), std::string::npos);
    EXPECT_TRUE(fake::file_changes().empty());
}

TEST_F(ping_reboot_limit, answering_target_writes_nothing_to_flash)
{
    watchdog_state b;
    start(b, true, 10);
    EXPECT_EQ(b.answered_mark, 5);
    EXPECT_TRUE(fake::file_changes().empty());
    EXPECT_EQ(reboots(), 0u);
}

TEST_F(ping_reboot_limit, result_file_stays_bounded_while_the_limit_holds)
{
    fake::set_file_text(count_file, "2\n");
    watchdog_state b;
    // The limit holds after the second cycle; the third request finds the
    // file past its size limit.
    fake::set_send_hook([&b](const fake::sent_packet&) {
        if (b.sent_mark == 2)
            write_result_text(b, std::string(20481, 'x'));
    });
    start(b, false, 8);
    EXPECT_EQ(fake::file_text(ping_test::result_path), timed_out + timed_out);
}

}  // namespace
