// uci: the configuration store's command.
#include <cerrno>
#include <string>
#include <unistd.h>

#include "uci_commands.h"

namespace {

void write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += static_cast<size_t>(w);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string out, err;
    int status = uci::run_command(argc, argv, out, err);
    write_all(1, out);
    write_all(2, err);
    return status;
}
