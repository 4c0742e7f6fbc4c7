// The result file: its size limit, a file that can't be written, the
// length of its path.
#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"

#include <gtest/gtest.h>

namespace {

using namespace ping_test;

using ping_echo = ping_test::echo_exchange;

struct size_case {
    long size;
    bool emptied;
};

class ping_result_size : public ping_echo, public ::testing::WithParamInterface<size_case> {};

TEST_P(ping_result_size, emptied_only_past_20480_bytes)
{
    const auto& c = GetParam();
    std::string filler(static_cast<size_t>(c.size), 'x');
    write_result_text(w, filler);
    w.receive_time = {11, 100000};
    auto packet = make_packet({});
    ASSERT_EQ(examine_reply(w, packet.data(), static_cast<int>(packet.size())), 0);

    std::string record = "Reply from_pw 0.0.0.0: bytes=56 icmp_seq_pw=0 ttl=64 time=200.000 ms \r";
    EXPECT_EQ(result(), c.emptied ? record : filler + record);
}

INSTANTIATE_TEST_SUITE_P(sizes, ping_result_size,
                         ::testing::Values(size_case{0, false}, size_case{20479, false}, size_case{20480, false},
                                           size_case{20481, true}, size_case{30000, true}));

TEST_F(ping_echo, lost_file_still_counts_the_reply_and_is_tried_again)
{
    write_result_text(w, std::string(20481, 'x'));
    fake::refuse_file(result_path);
    w.receive_time = {11, 100000};
    auto packet = make_packet({});

    EXPECT_EQ(examine_reply(w, packet.data(), static_cast<int>(packet.size())), 5);
    EXPECT_EQ(w.event_count, 0);
    EXPECT_EQ(w.reply_flag, -1);
    EXPECT_EQ(w.result_file, nullptr);
    // Timed-out records have nowhere to go and are dropped quietly.
    write_result_text(w, "Request timed out.\r");

    fake::reset();
    EXPECT_EQ(examine_reply(w, packet.data(), static_cast<int>(packet.size())), 0);
    EXPECT_EQ(result(), "Reply from_pw 0.0.0.0: bytes=56 icmp_seq_pw=0 ttl=64 time=200.000 ms \r");
}

TEST_F(ping_echo, result_path_longer_than_51_characters_is_refused)
{
    close_watchdog(w);
    std::string fits = "/var/" + std::string(51 - 20 - 6, 'd') + "/webspingwatchdog.msg";
    std::string too_long = "/var/" + std::string(51 - 20 - 5, 'd') + "/webspingwatchdog.msg";
    ASSERT_EQ(fits.size(), 51u);
    EXPECT_EQ(open_result_file(w, fits), 0);
    close_watchdog(w);
    EXPECT_EQ(open_result_file(w, too_long), -1);
    EXPECT_EQ(w.result_file, nullptr);
    EXPECT_FALSE(fake::has_file_text(too_long));
}

}  // namespace
