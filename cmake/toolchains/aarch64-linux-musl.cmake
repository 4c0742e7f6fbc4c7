# 64-bit ARM with musl, the CPU of most access points sold now.
# Debian: dpkg --add-architecture arm64, then musl-dev:arm64,
# g++-aarch64-linux-gnu; qemu-user runs the programs.
set(zel_musl_arch aarch64)
set(zel_processor aarch64)
set(zel_compiler_prefix aarch64-linux-gnu-)
set(zel_target_root /usr/aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/musl-common.cmake)
