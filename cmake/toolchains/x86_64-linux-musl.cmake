# x86-64 with musl (Debian: musl-dev, musl-tools): the programs as an
# access point's C library runs them, on the build machine's own CPU and
# kernel, so the device tests run them in the simulated access point.
# CMAKE_SYSTEM_NAME stays unset: this machine runs what the build makes.
set(zel_musl_arch x86_64)
set(zel_compiler_prefix x86_64-linux-gnu-)
set(zel_kernel_headers /usr/include/linux /usr/include/x86_64-linux-gnu/asm /usr/include/asm-generic)
include(${CMAKE_CURRENT_LIST_DIR}/musl-common.cmake)
