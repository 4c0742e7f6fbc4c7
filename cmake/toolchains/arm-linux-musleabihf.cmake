# 32-bit ARM, hard-float ABI, with musl (armhf: musl's loader is
# /lib/ld-musl-armhf.so.1). Debian: dpkg --add-architecture armhf, then
# musl-dev:armhf, g++-arm-linux-gnueabihf; qemu-user runs the programs.
set(zel_musl_arch armhf)
set(zel_musl_triple arm-linux-musleabihf)
set(zel_processor arm)
set(zel_compiler_prefix arm-linux-gnueabihf-)
set(zel_target_root /usr/arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/musl-common.cmake)
