# Little-endian 32-bit MIPS with musl, the other CPU family of access
# points. Debian: dpkg --add-architecture mipsel, then musl-dev:mipsel,
# g++-mipsel-linux-gnu; qemu-user(-static) runs the programs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(zel_musl_arch mipsel)
set(zel_compiler_prefix mipsel-linux-gnu-)
set(zel_kernel_headers /usr/mipsel-linux-gnu/include/linux /usr/mipsel-linux-gnu/include/asm
                       /usr/mipsel-linux-gnu/include/asm-generic)
include(${CMAKE_CURRENT_LIST_DIR}/musl-common.cmake)

# Libraries and headers from the target's folders only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
