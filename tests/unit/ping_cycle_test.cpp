#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

using namespace ping_test;

struct sockaddr_storage address_of(const std::string& text, unsigned scope = 0)
{
    struct sockaddr_storage s {};
    auto& four = reinterpret_cast<struct sockaddr_in&>(s);
    auto& six = reinterpret_cast<struct sockaddr_in6&>(s);
    if (inet_pton(AF_INET, text.c_str(), &four.sin_addr) == 1) {
        four.sin_family = AF_INET;
    } else {
        EXPECT_EQ(inet_pton(AF_INET6, text.c_str(), &six.sin6_addr), 1) << text;
        six.sin6_family = AF_INET6;
        six.sin6_scope_id = scope;
    }
    return s;
}

// ---- which packet counts, and which cycle is answered ----

struct match_case {
    const char* name;
    int family;
    packet_spec packet;
    std::string source;
    unsigned scope;
    int expected;  // index of the target answered, -1 for nothing
};

packet_spec reply(uint16_t sequence = 7, uint16_t identifier = 0x4242, uint8_t type = 0, int header = 20,
                  int data = 56)
{
    packet_spec p;
    p.sequence = sequence;
    p.identifier = identifier;
    p.type = type;
    p.header_length = header;
    p.data_length = data;
    return p;
}

class ping_match_reply : public ::testing::TestWithParam<match_case> {};

TEST_P(ping_match_reply, counts_only_a_first_reply_of_the_cycle_from_a_target)
{
    const auto& c = GetParam();
    fake::set_interface("eth1", 3);
    std::vector<watch_target> targets;
    ASSERT_TRUE(read_target_list("10.0.0.1,10.0.0.2,::1,fe80::7%eth1", targets));
    targets[1].answered = true;
    targets[2].tries = 2;  // ::1 got the cycle's first two requests, 7 and 8
    std::vector<unsigned char> bytes = make_packet(c.packet);
    EXPECT_EQ(match_reply(bytes.data(), static_cast<int>(bytes.size()), c.family, address_of(c.source, c.scope),
                          0x4242, 7, targets),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    packets, ping_match_reply,
    ::testing::Values(match_case{"reply_from_a_target", AF_INET, reply(), "10.0.0.1", 0, 0},
                      match_case{"second_reply_from_a_target", AF_INET, reply(), "10.0.0.2", 0, -1},
                      match_case{"late_reply_of_an_earlier_cycle", AF_INET, reply(6), "10.0.0.1", 0, -1},
                      match_case{"reply_of_a_later_sequence", AF_INET, reply(8), "10.0.0.1", 0, -1},
                      match_case{"foreign_identifier", AF_INET, reply(7, 0x4243), "10.0.0.1", 0, -1},
                      match_case{"foreign_source", AF_INET, reply(), "10.0.0.9", 0, -1},
                      match_case{"echo_request", AF_INET, reply(7, 0x4242, 8), "10.0.0.1", 0, -1},
                      match_case{"too_short", AF_INET, reply(7, 0x4242, 0, 20, 7), "10.0.0.1", 0, -1},
                      match_case{"icmpv6_reply", AF_INET6, reply(7, 0x4242, 129, 0), "::1", 0, 2},
                      match_case{"reply_to_the_first_try_after_the_second", AF_INET6, reply(7, 0x4242, 129, 0),
                                 "::1", 0, 2},
                      match_case{"reply_to_the_second_try", AF_INET6, reply(8, 0x4242, 129, 0), "::1", 0, 2},
                      match_case{"reply_to_a_try_not_sent", AF_INET6, reply(9, 0x4242, 129, 0), "::1", 0, -1},
                      match_case{"icmpv4_type_on_icmpv6", AF_INET6, reply(7, 0x4242, 0, 0), "::1", 0, -1},
                      match_case{"link_local_on_its_interface", AF_INET6, reply(7, 0x4242, 129, 0), "fe80::7", 3, 3},
                      match_case{"link_local_on_another_interface", AF_INET6, reply(7, 0x4242, 129, 0), "fe80::7",
                                 4, -1}),
    [](const ::testing::TestParamInfo<match_case>& info) { return info.param.name; });

struct judge_case {
    std::string answered;  // one flag per target: 1 answered
    int reliability;
    bool expected;
};

class ping_cycle_answered : public ::testing::TestWithParam<judge_case> {};

TEST_P(ping_cycle_answered, needs_reliability_answers)
{
    const auto& c = GetParam();
    std::vector<watch_target> targets(c.answered.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        targets[i].answered = c.answered[i] == '1';
    EXPECT_EQ(cycle_answered(targets, c.reliability), c.expected);
}

INSTANTIATE_TEST_SUITE_P(counts, ping_cycle_answered,
                         ::testing::Values(judge_case{"10", 1, true}, judge_case{"00", 1, false},
                                           judge_case{"10", 2, false}, judge_case{"11", 2, true},
                                           judge_case{"01101", 3, true}, judge_case{"01100", 3, false},
                                           judge_case{"11111111", 8, true}));

// ---- tries within a cycle ----

struct due_case {
    int timeout, tries, tries_sent;
    long long due;  // microseconds from the cycle's start, -1: none
};

class ping_next_try_due : public ::testing::TestWithParam<due_case> {};

TEST_P(ping_next_try_due, spreads_the_tries_over_the_budget)
{
    const auto& c = GetParam();
    EXPECT_EQ(next_try_due(c.timeout, c.tries, c.tries_sent), c.due);
}

INSTANTIATE_TEST_SUITE_P(tries, ping_next_try_due,
                         ::testing::Values(due_case{1, 1, 0, 0}, due_case{1, 1, 1, -1}, due_case{1, 3, 1, 333333},
                                           due_case{1, 3, 2, 666666}, due_case{1, 3, 3, -1},
                                           due_case{3, 2, 1, 1500000}, due_case{30, 10, 9, 27000000},
                                           due_case{30, 10, 10, -1}));

struct try_case {
    const char* name;
    uint16_t first_sequence;
    int tries_sent;
    uint16_t sequence;
    bool answers;
};

class ping_reply_answers_try : public ::testing::TestWithParam<try_case> {};

TEST_P(ping_reply_answers_try, only_the_cycles_requests_to_the_target)
{
    const auto& c = GetParam();
    EXPECT_EQ(reply_answers_try(c.first_sequence, c.tries_sent, c.sequence), c.answers);
}

INSTANTIATE_TEST_SUITE_P(
    sequences, ping_reply_answers_try,
    ::testing::Values(try_case{"first_try_after_the_second_was_sent", 40, 2, 40, true},
                      try_case{"latest_try", 40, 2, 41, true}, try_case{"try_not_sent_yet", 40, 2, 42, false},
                      try_case{"earlier_cycle", 40, 2, 39, false}, try_case{"wraps_with_the_field", 65535, 2, 0, true},
                      try_case{"earlier_cycle_across_the_wrap", 0, 3, 65535, false}),
    [](const ::testing::TestParamInfo<try_case>& info) { return info.param.name; });

}  // namespace
