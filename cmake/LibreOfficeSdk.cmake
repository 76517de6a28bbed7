# Finds the LibreOffice SDK (Debian: libreoffice-dev) and sets GRIDMOOR_CALC_SDK_FOUND; when it
# is not found, GRIDMOOR_CALC_SDK_MISSING lists what was looked for and not found, for the
# configure error.
#
# When found, defines the interface target gridmoor::lo_sdk: the sal/rtl/cppu headers, the API
# headers (com/sun/star/...) generated at build time by cppumaker into the build tree, the
# compile definitions the headers expect and the URE libraries. Also sets
# GRIDMOOR_LO_PROGRAM_DIR, the directory holding soffice and fundamentalrc.
set(GRIDMOOR_CALC_SDK_FOUND OFF)
set(GRIDMOOR_CALC_SDK_MISSING "")

set(GRIDMOOR_LO_ROOT "/usr/lib/libreoffice" CACHE PATH "LibreOffice installation root")
# find_* keeps what it found in the cache: a root changed in an existing build tree would
# otherwise go on using the old installation's parts. Search again when the root changes.
if(DEFINED GRIDMOOR_LO_ROOT_SEARCHED AND NOT GRIDMOOR_LO_ROOT_SEARCHED STREQUAL GRIDMOOR_LO_ROOT)
  foreach(_gm_var GRIDMOOR_LO_INCLUDE_DIR GRIDMOOR_LO_CPPUMAKER GRIDMOOR_LO_CPPU
                  GRIDMOOR_LO_CPPUHELPER GRIDMOOR_LO_SAL)
    unset(${_gm_var} CACHE)
  endforeach()
endif()
set(GRIDMOOR_LO_ROOT_SEARCHED "${GRIDMOOR_LO_ROOT}" CACHE INTERNAL "The root the SDK was found under")
find_path(GRIDMOOR_LO_INCLUDE_DIR NAMES sal/types.h PATHS /usr/include/libreoffice
          ${GRIDMOOR_LO_ROOT}/sdk/include NO_DEFAULT_PATH)
find_program(GRIDMOOR_LO_CPPUMAKER NAMES cppumaker PATHS ${GRIDMOOR_LO_ROOT}/sdk/bin NO_DEFAULT_PATH)
find_library(GRIDMOOR_LO_CPPU NAMES uno_cppu PATHS ${GRIDMOOR_LO_ROOT}/sdk/lib NO_DEFAULT_PATH)
find_library(GRIDMOOR_LO_CPPUHELPER NAMES uno_cppuhelpergcc3 PATHS ${GRIDMOOR_LO_ROOT}/sdk/lib
             NO_DEFAULT_PATH)
find_library(GRIDMOOR_LO_SAL NAMES uno_sal PATHS ${GRIDMOOR_LO_ROOT}/sdk/lib NO_DEFAULT_PATH)
set(GRIDMOOR_LO_PROGRAM_DIR "${GRIDMOOR_LO_ROOT}/program")
set(_gm_types_rdb "${GRIDMOOR_LO_PROGRAM_DIR}/types.rdb")
set(_gm_offapi_rdb "${GRIDMOOR_LO_PROGRAM_DIR}/types/offapi.rdb")

# Each of the SDK's parts by the cache variable that holds it and what was searched for.
foreach(_gm_part "GRIDMOOR_LO_INCLUDE_DIR:sal/types.h"
                 "GRIDMOOR_LO_CPPUMAKER:${GRIDMOOR_LO_ROOT}/sdk/bin/cppumaker"
                 "GRIDMOOR_LO_CPPU:uno_cppu in ${GRIDMOOR_LO_ROOT}/sdk/lib"
                 "GRIDMOOR_LO_CPPUHELPER:uno_cppuhelpergcc3 in ${GRIDMOOR_LO_ROOT}/sdk/lib"
                 "GRIDMOOR_LO_SAL:uno_sal in ${GRIDMOOR_LO_ROOT}/sdk/lib")
  string(REPLACE ":" ";" _gm_part "${_gm_part}")
  list(GET _gm_part 0 _gm_var)
  list(GET _gm_part 1 _gm_what)
  if(NOT ${_gm_var})
    list(APPEND GRIDMOOR_CALC_SDK_MISSING "${_gm_what} (${_gm_var})")
  endif()
endforeach()
foreach(_gm_file "${_gm_types_rdb}" "${_gm_offapi_rdb}" "${GRIDMOOR_LO_PROGRAM_DIR}/fundamentalrc")
  if(NOT EXISTS "${_gm_file}")
    list(APPEND GRIDMOOR_CALC_SDK_MISSING "${_gm_file}")
  endif()
endforeach()
# The backend speaks UNO to a LibreOffice on Linux only.
if(WIN32)
  list(APPEND GRIDMOOR_CALC_SDK_MISSING "a Linux target (this one is Windows)")
endif()

if(NOT GRIDMOOR_CALC_SDK_MISSING)
  set(GRIDMOOR_CALC_SDK_FOUND ON)

  # The API headers are generated, never committed: cppumaker writes the whole type tree
  # into an absolute directory of the build tree (a relative -O fails). The stamp file
  # stands for the tree so that targets can depend on it.
  set(GRIDMOOR_LO_GENERATED_DIR "${CMAKE_BINARY_DIR}/lo_sdk_generated")
  set(_gm_stamp "${GRIDMOOR_LO_GENERATED_DIR}/.generated")
  add_custom_command(
    OUTPUT "${_gm_stamp}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${GRIDMOOR_LO_GENERATED_DIR}"
    COMMAND "${GRIDMOOR_LO_CPPUMAKER}" "-O${GRIDMOOR_LO_GENERATED_DIR}" "${_gm_types_rdb}"
            "${_gm_offapi_rdb}"
    COMMAND ${CMAKE_COMMAND} -E touch "${_gm_stamp}"
    DEPENDS "${_gm_types_rdb}" "${_gm_offapi_rdb}"
    COMMENT "Generating the LibreOffice API headers with cppumaker"
    VERBATIM)
  add_custom_target(gridmoor_lo_headers DEPENDS "${_gm_stamp}")

  add_library(gridmoor_lo_sdk INTERFACE)
  add_library(gridmoor::lo_sdk ALIAS gridmoor_lo_sdk)
  add_dependencies(gridmoor_lo_sdk gridmoor_lo_headers)
  # SYSTEM: warnings inside the SDK's and the generated headers are not ours to fix.
  target_include_directories(gridmoor_lo_sdk SYSTEM INTERFACE "${GRIDMOOR_LO_INCLUDE_DIR}"
                                                              "${GRIDMOOR_LO_GENERATED_DIR}")
  target_compile_definitions(gridmoor_lo_sdk INTERFACE UNX LINUX CPPU_ENV=gcc3
      GRIDMOOR_LO_PROGRAM_DIR="${GRIDMOOR_LO_PROGRAM_DIR}")
  target_link_libraries(gridmoor_lo_sdk INTERFACE "${GRIDMOOR_LO_CPPUHELPER}" "${GRIDMOOR_LO_CPPU}"
                                                  "${GRIDMOOR_LO_SAL}")
  target_link_options(gridmoor_lo_sdk INTERFACE "LINKER:-rpath-link,${GRIDMOOR_LO_PROGRAM_DIR}"
                      "LINKER:-rpath,${GRIDMOOR_LO_PROGRAM_DIR}")
endif()
