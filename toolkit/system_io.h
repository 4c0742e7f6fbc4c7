// The seam's second half: raw sockets, the wait on them, and files the
// tools write themselves (record files kept open, small state files).
// Production links system_io.cpp into toolkit_system beside system.cpp; the
// unit tests link the recording fake instead, which scripts the packets that
// arrive and keeps every file in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <linux/filter.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>

// socket(family, SOCK_RAW, protocol): a descriptor, or -1.
int raw_socket_open(int family, int protocol);

// setsockopt. Returns 0, or -1.
int socket_option(int fd, int level, int name, const void* value, socklen_t length);

// Attaches the classic socket filter program (SO_ATTACH_FILTER). 0 or -1.
int socket_attach_filter(int fd, const struct sock_filter* code, unsigned short count);

// Reads and drops whatever is queued on the socket, without waiting.
void socket_discard_pending(int fd);

// sendto with no flags: the bytes sent, or -1.
long socket_send(int fd, const void* bytes, std::size_t length, const struct sockaddr* to, socklen_t to_length);

// Reads one datagram of at most size bytes (recvmsg, no flags): its length,
// or -1. The sender goes to source; hop_limit gets the IPv6 hop limit that
// came with it as ancillary data, or -1 when none came.
long socket_receive(int fd, void* buffer, std::size_t size, struct sockaddr_storage& source, int& hop_limit);

void socket_close(int fd);

// select for readable descriptors below highest_fd + 1, waiting at most
// timeout. It leaves in readable only what is readable. What it leaves in
// timeout differs between C libraries (glibc writes back the time left,
// musl leaves it as it was): callers must not read it back. 1 or more, 0 on
// timeout, -1 with errno.
int wait_readable(int highest_fd, fd_set& readable, struct timeval& timeout);

// The index of the network interface of this name (if_nametoindex), 0 when
// there is none.
unsigned interface_index(const std::string& name);

// A text file kept open for appending records.
struct text_file;
// Opens the file for writing, emptying it (fopen "w"); nullptr on failure.
text_file* text_file_create(const std::string& path);
// Writes the text at the end and flushes it.
void text_file_write(text_file* file, std::string_view text);
// Moves to the end and returns the position there: the file's size.
long text_file_size(text_file* file);
void text_file_close(text_file* file);

// Small files read and written whole. file_read: 0, or -1 when the file
// can't be read. file_write creates or replaces the file and syncs it to
// the medium: 0 or -1. file_remove: 0 or -1.
int file_read(const std::string& path, std::string& text);
int file_write(const std::string& path, std::string_view text);
int file_remove(const std::string& path);
