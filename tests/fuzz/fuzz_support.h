// Helpers shared by the fuzz targets: argument vectors and scripted command
// output made from the input bytes, and a check that no command handed to
// the shell lets a value start a command of its own.
#pragma once

#include "fake_system.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

// The byte \x01 in an input stands for this word, so the fuzzer only has to
// find the punctuation around it: a run whose commands start it as a command
// was injected.
constexpr const char* marker = "INJ";

inline std::string expand_marker(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\x01')
            out += marker;
        else
            out += c;
    }
    return out;
}

// An argument vector that the program may keep pointers into; argv() ends
// in a null pointer as a program's does.
struct argument_vector {
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<char*> pointers{nullptr};

    void add(const std::string& text)
    {
        texts.push_back(std::make_unique<std::string>(text));
        pointers.back() = &(*texts.back())[0];
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts.size()); }
    char** argv() { return pointers.data(); }
};

// The arguments: pieces of the text separated by NUL bytes, after the
// program name; at most 'limit' of them.
inline argument_vector arguments_of(const char* program, const std::string& text, std::size_t limit = 32)
{
    argument_vector args;
    args.add(program);
    if (text.empty())
        return args;
    std::size_t start = 0;
    while (args.texts.size() <= limit) {
        std::size_t end = text.find('\0', start);
        args.add(expand_marker(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return args;
}

// Splits the input at the first "\0\0": the arguments before it, the
// scripted command output after it.
inline void split_input(const uint8_t* data, std::size_t size, std::string& arguments, std::string& answers)
{
    std::string all(reinterpret_cast<const char*>(data), size);
    std::size_t at = all.find(std::string("\0\0", 2));
    arguments = all.substr(0, at);
    answers = at == std::string::npos ? std::string() : all.substr(at + 2);
}

// Command output from the text: answers separated by \x02, lines of one
// answer by '\n'. The n-th popen call of the run gets the n-th answer; once
// they are used up every command prints nothing, so walks that go on until
// an empty answer end.
inline void script_answers(const std::string& text)
{
    auto answers = std::make_shared<std::vector<std::vector<std::string>>>();
    if (!text.empty()) {
        std::size_t start = 0;
        for (;;) {
            std::size_t end = text.find('\x02', start);
            std::string answer = expand_marker(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            std::vector<std::string> lines;
            std::size_t line_start = 0;
            for (;;) {
                std::size_t nl = answer.find('\n', line_start);
                if (nl == std::string::npos) {
                    if (line_start < answer.size())
                        lines.push_back(answer.substr(line_start));
                    break;
                }
                lines.push_back(answer.substr(line_start, nl - line_start));
                line_start = nl + 1;
            }
            answers->push_back(lines);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    auto next = std::make_shared<std::size_t>(0);
    fake::set_responder([answers, next](const std::string&) {
        if (*next >= answers->size())
            return std::vector<std::string>();
        return (*answers)[(*next)++];
    });
}

// Whether the shell, reading the command, would run the marker word as a
// command: at the start, after an unquoted ; & | ( or line feed, or first in
// a $(...) or `...` substitution (also inside double quotes). Text between
// single quotes and escaped characters mean nothing.
class injection_scan {
public:
    explicit injection_scan(const std::string& text) : s_(text) {}

    bool found()
    {
        pos_ = 0;
        scan(end_none);
        return hit_;
    }

private:
    enum end_kind { end_none, end_paren, end_backquote };

    bool marker_here() const
    {
        const std::string m = marker;
        if (s_.compare(pos_, m.size(), m) != 0)
            return false;
        std::size_t after = pos_ + m.size();
        return after >= s_.size() || std::string(" \t\n;&|()<>`'\"").find(s_[after]) != std::string::npos;
    }

    void substitution(end_kind kind)
    {
        scan(kind);
    }

    void double_quoted()
    {
        while (pos_ < s_.size() && !hit_) {
            char c = s_[pos_];
            if (c == '"') {
                ++pos_;
                return;
            }
            if (c == '\\') {
                pos_ += 2;
            } else if (c == '`') {
                ++pos_;
                substitution(end_backquote);
            } else if (c == '$' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '(') {
                pos_ += 2;
                substitution(end_paren);
            } else {
                ++pos_;
            }
        }
    }

    void scan(end_kind kind)
    {
        bool command_start = true;
        int depth = 0;
        while (pos_ < s_.size() && !hit_) {
            char c = s_[pos_];
            if (c == ' ' || c == '\t') {
                ++pos_;
                continue;
            }
            if (command_start && marker_here()) {
                hit_ = true;
                return;
            }
            if (c == ';' || c == '&' || c == '|' || c == '\n') {
                command_start = true;
                ++pos_;
            } else if (c == '(') {
                ++depth;
                command_start = true;
                ++pos_;
            } else if (c == ')') {
                ++pos_;
                if (kind == end_paren && depth == 0)
                    return;
                if (depth > 0)
                    --depth;
                command_start = false;
            } else if (c == '`') {
                ++pos_;
                if (kind == end_backquote)
                    return;
                substitution(end_backquote);
                command_start = false;
            } else if (c == '$' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '(') {
                pos_ += 2;
                substitution(end_paren);
                command_start = false;
            } else if (c == '\'') {
                std::size_t close = s_.find('\'', pos_ + 1);
                pos_ = close == std::string::npos ? s_.size() : close + 1;
                command_start = false;
            } else if (c == '"') {
                ++pos_;
                double_quoted();
                command_start = false;
            } else if (c == '\\') {
                pos_ += 2;
                command_start = false;
            } else {
                ++pos_;
                command_start = false;
            }
        }
    }

    const std::string& s_;
    std::size_t pos_ = 0;
    bool hit_ = false;
};

inline bool injected(const std::string& command)
{
    return injection_scan(command).found();
}

// Stops the run when any recorded command would start the marker, or when
// a command to reboot reaches the shell although the program's input did not
// ask for one.
inline void check_commands(bool reboot_allowed)
{
    for (const fake::call& c : fake::calls()) {
        if (injected(c.command)) {
            std::fprintf(stderr, "injected command: %s\n", c.command.c_str());
            std::abort();
        }
        if (!reboot_allowed && c.kind == fake::call::system_call && c.command.find("reboot") == 0) {
            std::fprintf(stderr, "unexpected reboot: %s\n", c.command.c_str());
            std::abort();
        }
    }
}

}  // namespace fuzz
