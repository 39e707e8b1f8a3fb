# cmake -DMAGPACK=<magpack> -DSOURCE_DIR=<tree> -DBINARY_DIR=<a folder whose path holds spaces> -P RunSpacePath.cmake
# Makes a project of Project.cmake in BINARY_DIR/source and configures and builds it (Ninja) in BINARY_DIR/build;
# fails when either step fails or no archive comes out.
foreach(var MAGPACK SOURCE_DIR BINARY_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "RunSpacePath: give -D${var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE "${BINARY_DIR}")
set(space_dir "${SOURCE_DIR}/Tests/Tools/magpack/SpacePath")
file(WRITE "${BINARY_DIR}/source/CMakeLists.txt"
     "cmake_minimum_required(VERSION 3.25)\nproject(MagPackSpacePath NONE)\n"
     "set(SPACE_DIR [==[${space_dir}]==])\ninclude([==[${space_dir}/Project.cmake]==])\n")
set(build_dir "${BINARY_DIR}/build")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -G Ninja -S "${BINARY_DIR}/source" -B "${build_dir}"
          "-DMAGPACK=${MAGPACK}" "-DGRINDLOW_SOURCE_DIR=${SOURCE_DIR}"
  RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configuring in [${build_dir}] failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${build_dir}" RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building in [${build_dir}] failed")
endif()
if(NOT EXISTS "${build_dir}/Data dir/SPC_win32.mdf" OR NOT EXISTS "${build_dir}/Data dir/SPC_win32.mtc")
  message(FATAL_ERROR "no archive in [${build_dir}/Data dir]")
endif()
