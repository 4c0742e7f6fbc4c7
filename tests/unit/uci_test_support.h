// What the configuration store's tests share: a private config and save
// directory under /tmp for each test, whole-file reads and writes, and
// argument vectors.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

}  // namespace uci_test
