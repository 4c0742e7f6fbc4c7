// What the unit tests of the programs share: a fresh recording fake
// (fake_system.h) for every test, a UCI store served through it, argv built
// from strings, and the time stamp that the fake's clock gives untouched.
//
// The UCI store answers the popen commands that have no script
// (fake::script goes first):
//
//   uci get KEY -q                          the value of KEY
//   uci show CONFIG [-q] | grep P | ...     the lines of CONFIG that hold
//                                           every P (P without its double
//                                           quotes and backslashes)
//
// and prints nothing for any other command. The store is a list of lines
// in the form uci show prints them: "vlan.@vlan[0]=vlan",
// "vlan.@vlan[0].vlanid=10". The first line of a key gives its value.
#pragma once

#include "fake_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fake {

// What the store prints for the command.
inline std::vector<std::string> uci_answer(const std::string& command, const std::vector<std::string>& lines)
{
    const std::string get = "uci get ", tail = " -q", show = "uci show ";
    if (command.compare(0, get.size(), get) == 0) {
        if (command.size() <= get.size() + tail.size())
            return {};
        const std::string head = command.substr(get.size(), command.size() - get.size() - tail.size()) + "=";
        for (const auto& line : lines)
            if (line.compare(0, head.size(), head) == 0)
                return {line.substr(head.size())};
        return {};
    }
    if (command.compare(0, show.size(), show) != 0)
        return {};

    // "uci show CONFIG [-q]", then one "grep PATTERN" per stage of the pipe.
    std::vector<std::string> stages;
    std::size_t pos = 0;
    for (std::size_t bar; (bar = command.find(" | ", pos)) != std::string::npos; pos = bar + 3)
        stages.push_back(command.substr(pos, bar - pos));
    stages.push_back(command.substr(pos));
    std::string config = stages[0].substr(show.size());
    config = config.substr(0, config.find(' ')) + ".";
    std::vector<std::string> patterns;
    for (std::size_t i = 1; i < stages.size(); ++i) {
        std::string pattern = stages[i].substr(5);  // after "grep "
        if (!pattern.empty() && pattern[0] == '"')
            pattern = pattern.substr(1, pattern.size() - 2);
        std::string plain;
        for (char c : pattern)
            if (c != '\\')
                plain += c;
        patterns.push_back(plain);
    }

    std::vector<std::string> out;
    for (const auto& line : lines) {
        if (line.compare(0, config.size(), config) != 0)
            continue;
        bool keep = true;
        for (const auto& plain : patterns)
            keep = keep && line.find(plain) != std::string::npos;
        if (keep)
            out.push_back(line);
    }
    return out;
}

// Serves a copy of these lines, in their order.
inline void serve_uci_lines(std::vector<std::string> lines)
{
    set_responder([lines = std::move(lines)](const std::string& command) { return uci_answer(command, lines); });
}

// Serves the options of the map (key, value) as the map is at each command,
// so a test may change it between runs; uci show lists them in key order.
// The map must outlive the responder (fake::reset forgets it).
inline void serve_uci_map(const std::map<std::string, std::string>& options)
{
    set_responder([&options](const std::string& command) {
        std::vector<std::string> lines;
        for (const auto& option : options)
            lines.push_back(option.first + "=" + option.second);
        return uci_answer(command, lines);
    });
}

}  // namespace fake

namespace fixture {

using lines = std::vector<std::string>;

// The fake clock starts at 1 January 1970 00:00:00 UTC; a log line that is
// written before anything moves it opens with this.
inline const std::string stamp = "[01-01-1970 00:00:00.000000] ";

// The SSID lines of n Wi-Fi interfaces, named net0, net1, ...
inline lines wifi(int n)
{
    lines out;
    for (int e = 0; e < n; ++e)
        out.push_back("wireless.@wifi-iface[" + std::to_string(e) + "].ssid=net" + std::to_string(e));
    return out;
}

// Calls a program's main with these arguments, the program name first.
template <class Main>
int run_main(Main main, std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return main(static_cast<int>(args.size()), argv.data());
}

// Every test starts from a fresh fake.
class fake_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

// A table of rows, each run against a fresh fake.
template <class Row>
class fake_table : public fake_test, public ::testing::WithParamInterface<Row> {};

// A fresh fake that serves the options the test puts in uci.
class uci_test : public fake_test {
protected:
    std::map<std::string, std::string> uci;

    void SetUp() override
    {
        fake_test::SetUp();
        fake::serve_uci_map(uci);
    }
};

}  // namespace fixture
