// A UCI store behind the recording fake (fake_system.h), for the tests of
// code that reads UCI through the uci command. It answers the popen
// commands that have no script (fake::script goes first):
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
