# Shared part of the cross toolchain files. The including file sets
# zel_triple (the GNU target triple), zel_processor and zel_qemu.
#
# Programs and tests are linked statically by default so that the emulator
# runs them without a target root file system. -DZEL_CROSS_SHARED=ON links
# against the target's shared libc instead, as a device build would (the
# programs need no other library, see cmake/zel.cmake); the emulator is
# pointed at the cross sysroot so those run too.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${zel_processor})

set(zel_sysroot /usr/${zel_triple})

find_program(zel_cross_cxx ${zel_triple}-g++)
find_program(zel_cross_cc ${zel_triple}-gcc)
if(NOT zel_cross_cxx OR NOT zel_cross_cc)
  message(FATAL_ERROR
    "Cross compiler ${zel_triple}-g++ not found. Install Debian's "
    "g++-${zel_triple} (and qemu-user to run the tests).")
endif()
set(CMAKE_C_COMPILER ${zel_cross_cc})
set(CMAKE_CXX_COMPILER ${zel_cross_cxx})

find_program(zel_qemu_program ${zel_qemu})
if(zel_qemu_program)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${zel_qemu_program} -L ${zel_sysroot})
else()
  message(WARNING "${zel_qemu} not found (Debian's qemu-user): cross-built tests cannot run.")
endif()

# 64-bit file offsets, inode numbers and time_t, as the device's C library
# has them. 32-bit glibc defaults to 32-bit ones, and readdir and stat then
# fail with EOVERFLOW on a large file system such as the one the emulated
# tests run on.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")

if(NOT ZEL_CROSS_SHARED)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# Libraries and headers come from the cross sysroot only; programs
# (cmake, the emulator) from the host.
set(CMAKE_FIND_ROOT_PATH ${zel_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
