# Shared part of the musl toolchain files: Debian's musl (musl-dev, and
# musl-dev:<arch> through multiarch) with Debian's gcc, which is configured
# for glibc. The including file sets:
#   zel_musl_arch        musl's name of the CPU, as in its loader's name
#                        /lib/ld-musl-<arch>.so.1 (x86_64, mipsel, aarch64,
#                        armhf)
#   zel_musl_triple      the folder name of musl's headers and libraries
#                        (/usr/include/<triple>); <arch>-linux-musl when unset
#   zel_compiler_prefix  the gcc triple with its dash, or nothing for the
#                        host compiler
#   zel_target_root      for another CPU: the cross compiler's folder
#                        (/usr/<gcc triple>); with it, CMAKE_SYSTEM_PROCESSOR
#                        is zel_processor, and libraries and headers are
#                        looked for there only
#   zel_kernel_headers   the folders that hold the kernel's linux/, asm/ and
#                        asm-generic/ for the target; for another CPU, those
#                        under zel_target_root/include when unset
#
# Compiling: -nostdinc, then the compiler's own C++ headers and builtin
# headers, musl's headers, and a folder of links to the three kernel header
# folders; the glibc headers the compiler would search by itself never come
# in. The C++ headers were configured for glibc and need two of its names
# (musl-compat.h, force-included). Linking: through the gcc driver settings
# that Debian's musl ships (musl-gcc's), which put musl's start files,
# libc.so and loader in place of glibc's. The loader is named again here,
# /lib/ld-musl-<arch>.so.1 as OpenWrt installs it, so the programs ask for
# that one whatever path a packaging of musl chose.
#
# The programs use the C++ library through its headers only (the lean
# runtime, cmake/zel.cmake), so they need nothing beyond musl. GoogleTest
# would need a C++ runtime library built for musl: a musl build makes the
# programs and our uci, no unit tests.

if(zel_target_root)
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR ${zel_processor})
  # Libraries and headers from the target's folders only; programs from the host.
  set(CMAKE_FIND_ROOT_PATH ${zel_target_root})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  if(NOT zel_kernel_headers)
    set(zel_kernel_headers ${zel_target_root}/include/linux ${zel_target_root}/include/asm
                           ${zel_target_root}/include/asm-generic)
  endif()
endif()
if(NOT zel_musl_triple)
  set(zel_musl_triple ${zel_musl_arch}-linux-musl)
endif()
set(zel_musl_loader /lib/ld-musl-${zel_musl_arch}.so.1)

set(zel_musl_include /usr/include/${zel_musl_triple})
set(zel_musl_driver_file /usr/lib/${zel_musl_triple}/musl-gcc.specs)
if(NOT EXISTS ${zel_musl_include}/stdlib.h OR NOT EXISTS ${zel_musl_driver_file})
  message(FATAL_ERROR "musl for ${zel_musl_arch} not found: install Debian's musl-dev"
    " (for another CPU: dpkg --add-architecture, then musl-dev:<arch>)")
endif()

find_program(zel_musl_cc ${zel_compiler_prefix}gcc)
find_program(zel_musl_cxx ${zel_compiler_prefix}g++)
if(NOT zel_musl_cc OR NOT zel_musl_cxx)
  message(FATAL_ERROR "${zel_compiler_prefix}g++ not found (Debian's g++ or g++-<triple>)")
endif()
set(CMAKE_C_COMPILER ${zel_musl_cc})
set(CMAKE_CXX_COMPILER ${zel_musl_cxx})

# The compiler's own include folders: the C++ headers from its search list,
# the builtin ones (stddef.h, stdarg.h, ...) from -print-file-name.
execute_process(COMMAND ${zel_musl_cxx} -xc++ -E -v /dev/null
                OUTPUT_QUIET ERROR_VARIABLE zel_search RESULT_VARIABLE zel_status)
execute_process(COMMAND ${zel_musl_cxx} -print-file-name=include
                OUTPUT_VARIABLE zel_builtin_include OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT zel_status EQUAL 0 OR NOT IS_DIRECTORY ${zel_builtin_include})
  message(FATAL_ERROR "can't read the include folders of ${zel_musl_cxx}")
endif()
string(REPLACE "\n" ";" zel_search "${zel_search}")
set(zel_cxx_includes)
foreach(line ${zel_search})
  string(STRIP "${line}" dir)
  if(dir MATCHES "/c\\+\\+/" AND IS_DIRECTORY "${dir}")
    file(REAL_PATH "${dir}" dir)
    list(APPEND zel_cxx_includes "${dir}")
  endif()
endforeach()
if(NOT zel_cxx_includes)
  message(FATAL_ERROR "no C++ include folders in the search list of ${zel_musl_cxx}")
endif()

# linux/, asm/ and asm-generic/ without their neighbours (glibc's headers).
set(zel_kernel_links ${CMAKE_BINARY_DIR}/musl-kernel-headers)
file(MAKE_DIRECTORY ${zel_kernel_links})
foreach(dir ${zel_kernel_headers})
  get_filename_component(name ${dir} NAME)
  if(NOT IS_DIRECTORY ${dir})
    message(FATAL_ERROR "kernel headers ${dir} not found")
  endif()
  file(CREATE_LINK ${dir} ${zel_kernel_links}/${name} SYMBOLIC)
endforeach()

set(zel_c_includes "-nostdinc -isystem ${zel_builtin_include} -isystem ${zel_musl_include} -isystem ${zel_kernel_links}")
set(zel_cxx_flags "-nostdinc")
foreach(dir ${zel_cxx_includes})
  string(APPEND zel_cxx_flags " -isystem ${dir}")
endforeach()
string(APPEND zel_cxx_flags " -isystem ${zel_builtin_include} -isystem ${zel_musl_include} -isystem ${zel_kernel_links}")
string(APPEND zel_cxx_flags " -include ${CMAKE_CURRENT_LIST_DIR}/musl-compat.h")
set(CMAKE_C_FLAGS_INIT "${zel_c_includes}")
set(CMAKE_CXX_FLAGS_INIT "${zel_cxx_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-specs=${zel_musl_driver_file} -Wl,--dynamic-linker=${zel_musl_loader}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-specs=${zel_musl_driver_file}")

# CMake's compiler check links a program with the C++ driver, which would
# bring glibc's C++ runtime library: a static library is enough to check.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Programs only, and linked alike: our uci too against libc.so (the host
# build links it statically for glibc's slow loader).
set(ZEL_UNIT_TESTS OFF CACHE BOOL "Build the unit tests (GoogleTest)")
set(ZEL_STATIC_UCI OFF CACHE BOOL "Link uci fully statically")
if(ZEL_UNIT_TESTS OR ZEL_SANITIZE OR ZEL_FUZZ OR (DEFINED ZEL_LEAN_RUNTIME AND NOT ZEL_LEAN_RUNTIME))
  message(FATAL_ERROR "a musl build makes the programs with the lean runtime only: "
    "no unit tests, sanitizers, fuzzing or C++ runtime library")
endif()
