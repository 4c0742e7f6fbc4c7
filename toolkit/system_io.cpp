#include "system_io.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int raw_socket_open(int family, int protocol)
{
    return socket(family, SOCK_RAW, protocol);
}

int socket_option(int fd, int level, int name, const void* value, socklen_t length)
{
    return setsockopt(fd, level, name, value, length) == 0 ? 0 : -1;
}

int socket_attach_filter(int fd, const struct sock_filter* code, unsigned short count)
{
    struct sock_fprog program {};
    program.len = count;
    program.filter = const_cast<struct sock_filter*>(code);
    return socket_option(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

void socket_discard_pending(int fd)
{
    unsigned char scratch[64];
    while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) >= 0) {
    }
}

long socket_send(int fd, const void* bytes, std::size_t length, const struct sockaddr* to, socklen_t to_length)
{
    return sendto(fd, bytes, length, 0, to, to_length);
}

long socket_receive(int fd, void* buffer, std::size_t size, struct sockaddr_storage& source, int& hop_limit)
{
    struct iovec part {};
    part.iov_base = buffer;
    part.iov_len = size;
    alignas(struct cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))];
    struct msghdr message {};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    hop_limit = -1;
    ssize_t length = recvmsg(fd, &message, 0);
    if (length < 0)
        return -1;
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT && c->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(&hop_limit, CMSG_DATA(c), sizeof(int));
    }
    return length;
}

void socket_close(int fd)
{
    close(fd);
}

int wait_readable(int highest_fd, fd_set& readable, struct timeval& timeout)
{
    return select(highest_fd + 1, &readable, nullptr, nullptr, &timeout);
}

unsigned interface_index(const std::string& name)
{
    return if_nametoindex(name.c_str());
}

struct text_file {
    FILE* stream;
};

text_file* text_file_create(const std::string& path)
{
    FILE* stream = std::fopen(path.c_str(), "w");
    return stream ? new text_file{stream} : nullptr;
}

void text_file_write(text_file* file, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), file->stream);
    std::fflush(file->stream);
}

long text_file_size(text_file* file)
{
    std::fseek(file->stream, 0, SEEK_END);
    return std::ftell(file->stream);
}

void text_file_close(text_file* file)
{
    std::fclose(file->stream);
    delete file;
}

int file_read(const std::string& path, std::string& text)
{
    text.clear();
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    char buffer[1024];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return n < 0 ? -1 : 0;
}

int file_write(const std::string& path, std::string_view text)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return -1;
    bool whole = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    bool synced = fsync(fd) == 0;
    return close(fd) == 0 && whole && synced ? 0 : -1;
}

int file_remove(const std::string& path)
{
    return unlink(path.c_str()) == 0 ? 0 : -1;
}
