# {fmt} and toml++, both header-only: a suitable copy installed on the system when CMake finds
# one, the copy bundled in third_party/ otherwise. Nothing is downloaded. To build with the
# bundled copy although a system one exists: -DCMAKE_DISABLE_FIND_PACKAGE_fmt=ON (and
# -DCMAKE_DISABLE_FIND_PACKAGE_tomlplusplus=ON).
#
# Defines the target fmt::fmt-header-only; TARVO_LICENSES, NAME=FILE entries for the licence of
# each bundled library compiled in; TARVO_TOMLPLUSPLUS_INCLUDE, the folder that holds
# toml++/toml.hpp (3.4 or later: 3.3 reaches undefined behaviour on some non-ASCII input), and
# TARVO_TOMLPLUSPLUS_OPTIONS, the compiler options that make it a system folder (a newer compiler's
# warnings about toml++'s own code are not ours to fix).

set(TARVO_THIRD_PARTY "${CMAKE_CURRENT_LIST_DIR}/../third_party")
cmake_path(NORMAL_PATH TARVO_THIRD_PARTY)

# The oldest {fmt} the code is built with; Debian 12 ships 9.1.
find_package(fmt 9.1 QUIET)
if(fmt_FOUND AND TARGET fmt::fmt-header-only)
  message(STATUS "{fmt}: ${fmt_VERSION} from the system (${fmt_DIR})")
else()
  file(STRINGS "${TARVO_THIRD_PARTY}/fmt/include/fmt/base.h" fmt_line REGEX "define FMT_VERSION ")
  string(REGEX MATCH "[0-9]+$" fmt_number "${fmt_line}")
  math(EXPR fmt_major "${fmt_number} / 10000")
  math(EXPR fmt_minor "${fmt_number} / 100 % 100")
  math(EXPR fmt_patch "${fmt_number} % 100")
  message(STATUS "{fmt}: ${fmt_major}.${fmt_minor}.${fmt_patch} bundled in third_party/fmt")
  add_library(tarvo_bundled_fmt INTERFACE)
  target_include_directories(tarvo_bundled_fmt SYSTEM INTERFACE "${TARVO_THIRD_PARTY}/fmt/include")
  target_compile_definitions(tarvo_bundled_fmt INTERFACE FMT_HEADER_ONLY=1)
  add_library(fmt::fmt-header-only ALIAS tarvo_bundled_fmt)
  list(APPEND TARVO_LICENSES "fmt=${TARVO_THIRD_PARTY}/fmt/LICENSE")
endif()

# The version of the toml++ headers in FOLDER, as MAJOR.MINOR.PATCH, into OUT_VAR.
function(tarvo_tomlplusplus_version folder out_var)
  file(STRINGS "${folder}/toml++/impl/version.hpp" lines
    REGEX "define TOML_LIB_(MAJOR|MINOR|PATCH)")
  set(parts "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "[0-9]+$" part "${line}")
    list(APPEND parts "${part}")
  endforeach()
  list(JOIN parts "." version)
  set(${out_var} "${version}" PARENT_SCOPE)
endfunction()

# A system toml++ is often built as a shared library as well; tarvo compiles the headers into the
# one file that parses TOML, so it takes the headers only and links nothing.
find_package(tomlplusplus 3.4 QUIET)
set(TARVO_TOMLPLUSPLUS_INCLUDE "")
if(tomlplusplus_FOUND AND TARGET tomlplusplus::tomlplusplus)
  get_target_property(folders tomlplusplus::tomlplusplus INTERFACE_INCLUDE_DIRECTORIES)
  foreach(folder IN LISTS folders)
    if(EXISTS "${folder}/toml++/impl/version.hpp")
      tarvo_tomlplusplus_version("${folder}" version)
      if(version VERSION_GREATER_EQUAL 3.4)
        set(TARVO_TOMLPLUSPLUS_INCLUDE "${folder}")
        message(STATUS "toml++: ${version} from the system (${tomlplusplus_DIR})")
        break()
      endif()
    endif()
  endforeach()
endif()
if(NOT TARVO_TOMLPLUSPLUS_INCLUDE)
  set(TARVO_TOMLPLUSPLUS_INCLUDE "${TARVO_THIRD_PARTY}/tomlplusplus/include")
  tarvo_tomlplusplus_version("${TARVO_TOMLPLUSPLUS_INCLUDE}" version)
  message(STATUS "toml++: ${version} bundled in third_party/tomlplusplus")
  list(APPEND TARVO_LICENSES "tomlplusplus=${TARVO_THIRD_PARTY}/tomlplusplus/LICENSE")
endif()
set(TARVO_TOMLPLUSPLUS_OPTIONS "")
if(NOT TARVO_TOMLPLUSPLUS_INCLUDE IN_LIST CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  set(TARVO_TOMLPLUSPLUS_OPTIONS "-isystem;${TARVO_TOMLPLUSPLUS_INCLUDE}")
endif()
