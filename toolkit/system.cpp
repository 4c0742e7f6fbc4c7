#include "system.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

int shell_run(const std::string& command)
{
    return std::system(command.c_str());
}

int shell_read_lines(const std::string& command, std::vector<std::string>& lines)
{
    lines.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&buffer, &capacity, pipe)) >= 0) {
        if (length > 0 && buffer[length - 1] == '\n')
            --length;
        lines.emplace_back(buffer, static_cast<size_t>(length));
    }
    std::free(buffer);
    pclose(pipe);
    return 0;
}

int clock_read(struct timeval& now)
{
    return gettimeofday(&now, nullptr) == 0 ? 0 : -1;
}

long long monotonic_microseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int sleep_interval(const struct timespec& duration, struct timespec* remaining)
{
    return nanosleep(&duration, remaining) == 0 ? 0 : -1;
}

void sleep_seconds(unsigned seconds)
{
    sleep(seconds);
}

int file_exists(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    close(fd);
    return 0;
}
