# Big-endian 32-bit MIPS, the CPU of most access points of this kind.
# Debian packages: g++-mips-linux-gnu, qemu-user.
set(zel_triple mips-linux-gnu)
set(zel_processor mips)
set(zel_qemu qemu-mips)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
