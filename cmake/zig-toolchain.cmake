# Release builds for other systems: zig's clang, with zig's own libc++ linked in, and on Linux the
# C library of the target too. TARVO_ZIG_DIR (environment, so that CMake's compiler checks see it
# too) names a folder that scripts/lib.sh makes (zig_wrappers), named after the zig target (for example
# aarch64-linux-musl, x86_64-linux-gnu.2.17, aarch64-macos.11.0 or x86_64-freebsd.14.0), holding
# the wrappers cc, c++, ar and ranlib and a link to zig itself.
set(zig_dir "$ENV{TARVO_ZIG_DIR}")
if(NOT EXISTS "${zig_dir}/c++")
  message(FATAL_ERROR "TARVO_ZIG_DIR: no folder of zig wrappers (see zig_wrappers in scripts/lib.sh)")
endif()
get_filename_component(zig_target "${zig_dir}" NAME)
string(REGEX MATCH "^[^-]+" zig_arch "${zig_target}")
string(REGEX REPLACE "^[^-]+-([a-z]+).*" "\\1" zig_os "${zig_target}")

set(CMAKE_C_COMPILER "${zig_dir}/cc")
set(CMAKE_CXX_COMPILER "${zig_dir}/c++")
set(CMAKE_AR "${zig_dir}/ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${zig_dir}/ranlib" CACHE FILEPATH "")
# The host's binutils may not know the target's format: the linker strips instead.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-s")

# What zig links into the program comes with its licence, installed beside the program's own.
file(REAL_PATH "${zig_dir}/zig" zig_program)
get_filename_component(zig_home "${zig_program}" DIRECTORY)
set(TARVO_TOOLCHAIN_LICENSES
  "zig=${zig_home}/LICENSE"
  "libcxx=${zig_home}/lib/libcxx/LICENSE.TXT"
  "libcxxabi=${zig_home}/lib/libcxxabi/LICENSE.TXT")
# macOS's own C library (libSystem, loaded at start) unwinds the stack there.
if(NOT zig_os STREQUAL "macos")
  list(APPEND TARVO_TOOLCHAIN_LICENSES "libunwind=${zig_home}/lib/libunwind/LICENSE.TXT")
endif()
if(zig_target MATCHES "-musl")
  list(APPEND TARVO_TOOLCHAIN_LICENSES "musl=${zig_home}/lib/libc/musl/COPYRIGHT")
endif()

# The host's {fmt} and toml++ belong to the host: the bundled copies are compiled in.
set(CMAKE_DISABLE_FIND_PACKAGE_fmt ON)
set(CMAKE_DISABLE_FIND_PACKAGE_tomlplusplus ON)

# The docs generator runs at build time. For macOS and FreeBSD nothing here runs it: such a build
# takes the docs of a build for this machine (TARVO_DOCS_FROM in CMakeLists.txt). For Linux on
# this machine's architecture the build is not a cross build, and the host runs it; for another,
# qemu-user runs it, and finds the dynamic loader and C library of a glibc target in Debian's
# cross packages.
if(zig_os STREQUAL "macos")
  set(CMAKE_SYSTEM_NAME Darwin)
  set(CMAKE_SYSTEM_PROCESSOR "${zig_arch}")
  # The deployment target is zig's (in the target's name), not one CMake would add.
  set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "")
  set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
elseif(zig_os STREQUAL "freebsd")
  set(CMAKE_SYSTEM_NAME FreeBSD)
  set(CMAKE_SYSTEM_PROCESSOR "${zig_arch}")
elseif(NOT zig_arch STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR "${zig_arch}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "qemu-${zig_arch}-static")
  if(zig_target MATCHES "-gnu")
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L "/usr/${zig_arch}-linux-gnu")
  endif()
endif()
