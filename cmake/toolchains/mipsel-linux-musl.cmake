# Little-endian 32-bit MIPS with musl, the other CPU family of access
# points. Debian: dpkg --add-architecture mipsel, then musl-dev:mipsel,
# g++-mipsel-linux-gnu; qemu-user(-static) runs the programs.
set(zel_musl_arch mipsel)
set(zel_processor mipsel)
set(zel_compiler_prefix mipsel-linux-gnu-)
set(zel_target_root /usr/mipsel-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/musl-common.cmake)
