cmake_minimum_required(VERSION 3.25)
# Checks that the benchmarks and fuzz targets name no fixed temporary folder: their files go to a folder of
# the process's own under $TMPDIR (Tests/Support/KvScratchFolder.h), so runs side by side never share one.
#   cmake -DSOURCE_DIR=<tree> -P CheckTempFolders.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckTempFolders: give -DSOURCE_DIR=<tree>")
endif()
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/Bench/*.cpp" "${SOURCE_DIR}/Bench/*.h"
     "${SOURCE_DIR}/Fuzz/*.cpp" "${SOURCE_DIR}/Fuzz/*.h")
set(problems "")
foreach(path IN LISTS sources)
  file(STRINGS "${SOURCE_DIR}/${path}" lines REGEX "\"/(tmp|var/tmp)(/|\")")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    list(APPEND problems "${path}: a fixed temporary folder: ${line}")
  endforeach()
endforeach()
if(problems)
  list(JOIN problems "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH sources count)
message(STATUS "No fixed temporary folder in ${count} files")
