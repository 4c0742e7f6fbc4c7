# How a module folder declares its program, and a test folder its tests.
#
# A module folder holds its sources and a thin main.cpp. zel_program() makes
# the module library from every source but main.cpp (the unit tests drive
# it), the program from main.cpp, and its install rule. zel_test() makes a
# test program that links every module library in place of the program.
#
# Which implementation of the system seam (shell, clock, sleep, files) goes
# into an executable is said here and nowhere else: programs link the real
# one (toolkit_system, toolkit/system.cpp), tests the recording fake
# (fake_system, tests/fake). Both are object libraries, so the objects are
# always linked, whatever the order of the link line, and an executable
# given both fails to link instead of picking one.

# Lean runtime: the programs need no C++ runtime library. Their code is
# built without exceptions, RTTI and thread-safe statics, and linked by the
# C driver, so nothing of libstdc++ can come in unnoticed: a reference the
# programs' own runtime/runtime.cpp doesn't answer is a link error. libgcc
# is linked statically.
# Nothing unwinds their stack either (no exceptions, a failure aborts), so
# they carry no unwind tables: 64-bit ARM and x86-64 compilers emit them by
# default, a sixth of the code on 64-bit ARM.
set(zel_lean_compile_options -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    "SHELL:-include ${PROJECT_SOURCE_DIR}/runtime/lean.h")
# With std::string's members compiled in our sources, GCC 12 at -O3 reports
# an overlapping memcpy inside basic_string::_M_replace that cannot happen
# (a known false positive of -Wrestrict in the library's own code).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND zel_lean_compile_options -Wno-restrict)
endif()
if(ZEL_LEAN_RUNTIME)
  # CMake adds the C++ driver's own libraries (libstdc++, libm) when the C
  # driver links C++ objects; the programs need neither. Executables linked
  # by the C++ driver (the tests) are not affected.
  set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
endif()

# Program code in any build: the programs export nothing, so no function of
# theirs needs a dynamic symbol (on MIPS each would also take a GOT entry).
# On MIPS, non-PIC code calls its own functions directly and libc through
# a PLT, instead of loading every callee's address from the GOT; that takes
# about a tenth off the code. (It has no effect on position-independent
# code.)
set(zel_program_compile_options -fvisibility=hidden)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^mips")
  list(APPEND zel_program_compile_options -mplt)
endif()

# zel_program_code(TARGET...): the targets hold program code, built with the
# options above, and lean in a lean build. Unit tests keep exceptions:
# GoogleTest relies on them.
function(zel_program_code)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE ${zel_program_compile_options})
    if(ZEL_LEAN_RUNTIME)
      target_compile_options(${target} PRIVATE ${zel_lean_compile_options})
    endif()
  endforeach()
endfunction()

# zel_link_program(TARGET [SYSTEM] [HASH_TABLES] LIBRARIES library...): link
# a program's executable as programs are linked (see zel_program).
function(zel_link_program target)
  cmake_parse_arguments(arg "SYSTEM;HASH_TABLES" "" "LIBRARIES" ${ARGN})
  target_link_libraries(${target} PRIVATE ${arg_LIBRARIES})
  if(arg_SYSTEM)
    target_link_libraries(${target} PRIVATE toolkit_system)
  endif()
  zel_program_code(${target})
  if(ZEL_LEAN_RUNTIME)
    target_link_libraries(${target} PRIVATE zel_runtime)
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
    target_link_options(${target} PRIVATE -static-libgcc)
    if(arg_HASH_TABLES)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
                      OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
      target_link_libraries(${target} PRIVATE ${libstdcxx} m)
    endif()
  endif()
endfunction()

# zel_program(PROGRAM LIBRARY library [USES library...] [SYSTEM]
#             [HASH_TABLES] [ONE_PROGRAM] DESTINATION dir [INSTALL condition])
#   LIBRARY      name of the module library made from the folder's sources
#   USES         libraries the module library builds on (toolkit)
#   SYSTEM       the program reaches the shell and the clock: link the real
#                system seam
#   HASH_TABLES  the program uses std::unordered_map, whose bucket sizes and
#                string hash are compiled in the C++ library: a lean build
#                takes those two pieces (no exceptions in them) from the
#                static library, and libm for the bucket sizes' floor()
#   ONE_PROGRAM  with -DZEL_ONE_PROGRAM=ON the program is no executable of
#                its own: its module library goes into the one executable of
#                zel_one_program(), and its name is installed as a link to it
#   DESTINATION  install folder (usr/sbin); INSTALL OFF leaves it out
function(zel_program program)
  cmake_parse_arguments(arg "SYSTEM;HASH_TABLES;ONE_PROGRAM" "LIBRARY;DESTINATION;INSTALL" "USES" ${ARGN})
  if(NOT arg_LIBRARY OR NOT arg_DESTINATION)
    message(FATAL_ERROR "zel_program(${program}): LIBRARY and DESTINATION are required")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  add_library(${arg_LIBRARY} STATIC ${sources})
  target_include_directories(${arg_LIBRARY} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${arg_LIBRARY} PUBLIC ${arg_USES})
  set_property(GLOBAL APPEND PROPERTY zel_module_libraries ${arg_LIBRARY})
  zel_program_code(${arg_LIBRARY})

  if(ZEL_ONE_PROGRAM AND arg_ONE_PROGRAM)
    if(DEFINED arg_INSTALL AND NOT arg_INSTALL)
      message(FATAL_ERROR "zel_program(${program}): a part of the one program is always installed")
    endif()
    set_property(GLOBAL APPEND PROPERTY zel_one_program_names ${program})
    set_property(GLOBAL APPEND PROPERTY zel_one_program_libraries ${arg_LIBRARY})
    set_property(GLOBAL APPEND PROPERTY zel_one_program_destinations ${arg_DESTINATION})
    foreach(need SYSTEM HASH_TABLES)
      if(arg_${need})
        set_property(GLOBAL PROPERTY zel_one_program_${need} ${need})
      endif()
    endforeach()
    return()
  endif()

  add_executable(${program} main.cpp)
  set(needs)
  foreach(need SYSTEM HASH_TABLES)
    if(arg_${need})
      list(APPEND needs ${need})
    endif()
  endforeach()
  zel_link_program(${program} ${needs} LIBRARIES ${arg_LIBRARY})

  if(NOT DEFINED arg_INSTALL OR arg_INSTALL)
    install(TARGETS ${program} RUNTIME DESTINATION ${arg_DESTINATION})
  endif()
endfunction()

# zel_one_program(TARGET SOURCE main): with -DZEL_ONE_PROGRAM=ON, the
# programs declared ONE_PROGRAM as one executable, TARGET, linked with all
# their module libraries, its main picking the program by the name it was
# started by. Installed once, as TARGET, and every program's name a relative
# symbolic link to it in the same folder: one copy of the tool kit and the
# runtime on the device, and every path a caller uses stays the same. The
# file has a name of its own so that `pidof zelvlan` or `killall zelvlan`,
# which also match a process by the file it runs, never find the watchdog.
function(zel_one_program target)
  cmake_parse_arguments(arg "" "SOURCE" "" ${ARGN})
  get_property(names GLOBAL PROPERTY zel_one_program_names)
  get_property(libraries GLOBAL PROPERTY zel_one_program_libraries)
  get_property(destinations GLOBAL PROPERTY zel_one_program_destinations)
  get_property(system GLOBAL PROPERTY zel_one_program_SYSTEM)
  get_property(hash_tables GLOBAL PROPERTY zel_one_program_HASH_TABLES)
  if(NOT names)
    message(FATAL_ERROR "zel_one_program(${target}): no program is declared ONE_PROGRAM")
  endif()
  list(REMOVE_DUPLICATES destinations)
  list(LENGTH destinations count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "zel_one_program(${target}): the programs install to several folders: ${destinations}")
  endif()
  add_executable(${target} ${arg_SOURCE})
  zel_link_program(${target} ${system} ${hash_tables} LIBRARIES ${libraries})
  install(TARGETS ${target} RUNTIME DESTINATION ${destinations})
  foreach(name ${names})
    install(CODE "set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destinations}/${name}\")
message(STATUS \"Installing: \${link} -> ${target}\")
file(CREATE_LINK ${target} \"\${link}\" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")")
  endforeach()
endfunction()

# zel_test(NAME SOURCE source [LIBRARIES library...] [OPTIONS option...]
#          [LABEL label] [COMMAND command...] [WORKING_DIRECTORY dir])
# A test program from one source, linked with every module library, the
# tool kit and the recording fake of the system seam, and its CTest (by
# default the program itself, run with no arguments).
function(zel_test name)
  cmake_parse_arguments(arg "" "SOURCE;LABEL;WORKING_DIRECTORY" "LIBRARIES;OPTIONS;COMMAND" ${ARGN})
  get_property(modules GLOBAL PROPERTY zel_module_libraries)
  add_executable(${name} ${arg_SOURCE})
  target_link_libraries(${name} PRIVATE ${modules} toolkit fake_system ${arg_LIBRARIES})
  if(arg_OPTIONS)
    target_compile_options(${name} PRIVATE ${arg_OPTIONS})
    target_link_options(${name} PRIVATE ${arg_OPTIONS})
  endif()
  if(NOT arg_COMMAND)
    set(arg_COMMAND ${name})
  endif()
  if(arg_WORKING_DIRECTORY)
    file(MAKE_DIRECTORY ${arg_WORKING_DIRECTORY})
    add_test(NAME ${name} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  else()
    add_test(NAME ${name} COMMAND ${arg_COMMAND})
  endif()
  if(arg_LABEL)
    set_tests_properties(${name} PROPERTIES LABELS ${arg_LABEL})
  endif()
endfunction()
