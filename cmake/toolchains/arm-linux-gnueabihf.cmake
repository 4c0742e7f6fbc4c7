# 32-bit ARM, hard-float ABI, as in newer access points.
# Debian packages: g++-arm-linux-gnueabihf, qemu-user.
set(zel_triple arm-linux-gnueabihf)
set(zel_processor arm)
set(zel_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
