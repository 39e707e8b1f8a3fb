# Shared settings and helpers for every target of the project.

# Warnings and the sanitizers apply to our own code only.
add_library(grindlow_options INTERFACE)
if(GRINDLOW_FUZZ)
  # The fuzz build uses clang; g++ builds are the warnings gate.
  target_compile_options(grindlow_options INTERFACE -Wall -Wextra)
else()
  target_compile_options(grindlow_options INTERFACE -Wall -Wextra -Werror)
endif()
target_include_directories(grindlow_options INTERFACE "${CMAKE_SOURCE_DIR}")
# Failure reports name source files relative to the tree, as the build knows them.
target_compile_options(grindlow_options INTERFACE "-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=")

if(GRINDLOW_SANITIZE)
  string(REPLACE ";" "," _san "${GRINDLOW_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
  # The sanitizer builds are optimised lightly (-O1, CMakePresets.json) so that their tests run faster; there g++ 12
  # takes the instrumentation's own stores for uninitialised reads inside the standard library (std::regex,
  # std::function). The normal build keeps this warning and stays the warnings gate.
  target_compile_options(grindlow_options INTERFACE -Wno-maybe-uninitialized)
endif()

if(GRINDLOW_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

include(ToolProgram)

# Every program is linked by lld where the compiler can use it: the sanitizer builds' test programs link about four
# times faster than with the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld GRINDLOW_LINKER_LLD)
if(GRINDLOW_LINKER_LLD)
  add_link_options(-fuse-ld=lld)
endif()

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(ZLIB REQUIRED)
# The tools' JSON dumps and the data-script benchmark's baseline.
find_package(nlohmann_json 3 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)

set(GRINDLOW_UNITY_ALONE
    Code/Objects/ClEntityPlayerWeapons.cpp Code/Objects/GAMEEnemyScript.cpp Code/UI/GAMEUI_Leaderboard_Steam_Win32.cpp
    Code/UI/GAMEUI_Results.cpp Code/UI/GAMEUI_Screens.cpp Corvane/ADT/ClSimpleHashTable.cpp
    Corvane/UI/COMMONUIFunctions_Widget_Images.cpp Platform/DInput/XInput.cpp Platform/Store/StoreUserStats.cpp
    Platform/Win32/Win32DisplayLoss.cpp)

# grindlow_library(<name> DIRS <dir>... [LIBS <lib>...] [EXCLUDE <regex>])
# A static library made of every .cpp in the given directories (relative to the current source dir).
function(grindlow_library name)
  cmake_parse_arguments(L "" "EXCLUDE" "DIRS;LIBS" ${ARGN})
  set(sources "")
  foreach(dir IN LISTS L_DIRS)
    file(GLOB found CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  if(L_EXCLUDE AND sources)
    list(FILTER sources EXCLUDE REGEX "${L_EXCLUDE}")
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC grindlow_options ${L_LIBS})
    # Compiled eight files to a unit, as the tests are: most of a file's compile time is parsing the headers it
    # shares with its neighbours. So file-local names must differ within a library, and no file may leave a macro
    # behind for the next; the files of GRINDLOW_UNITY_ALONE are compiled alone instead (file-local names that
    # others use too, or system headers whose macros, such as X11's None, would reach the next file).
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    foreach(source IN LISTS sources)
      file(RELATIVE_PATH path "${CMAKE_SOURCE_DIR}" "${source}")
      if(path IN_LIST GRINDLOW_UNITY_ALONE)
        set_source_files_properties("${source}" PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endif()
    endforeach()
  else()
    # Nothing built yet in these areas: an interface target keeps the users' link lines valid.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE grindlow_options ${L_LIBS})
  endif()
endfunction()

# What every test program and its precompiled header are compiled with (grindlow_tests). Through a precompiled
# header the standard library's inline code is no longer taken for system-header code, and g++ 12's known false
# alarms about string copies (array bounds, string overflow, overlapping copies) reach the tests' own string
# building; the product's code keeps these warnings.
# Compiled together (see grindlow_tests), a fixture in one file's anonymous namespace looks to g++ like one from a
# header, which it warns about (subobject linkage).
# The tests' own code is compiled unoptimised in every build (-O0, after the build type's own level): optimising it
# took two thirds of its compile time, and the work it drives runs in the engine's libraries, which keep the build's
# level.
set(GRINDLOW_TEST_COMPILE_OPTIONS -O0 -g1 -Wno-error=invalid-pch -Wno-array-bounds -Wno-stringop-overflow
    -Wno-stringop-overread -Wno-restrict -Wno-subobject-linkage)

# The headless environment of every test. The leak checker's walk of dynamically loaded libraries' thread-local
# blocks (those of Mesa's GL drivers under Xvfb) can read a stale block and crash the checker itself at exit: it is
# not walked (intercept_tls_get_addr=0). Mesa's software rasteriser draws in the calling thread (LP_NUM_THREADS=0):
# CTest already runs a test for every processor, and a rasteriser thread for every processor in each of them only
# adds switching, a fifth of the tests' processor time.
set(GRINDLOW_TEST_ENV SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0
    "GRINDLOW_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "GRINDLOW_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "ASAN_OPTIONS=detect_leaks=1:allow_user_segv_handler=1:intercept_tls_get_addr=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${CMAKE_SOURCE_DIR}/cmake/tsan.supp")

# grindlow_tests(<name> [SERIAL <suite>...] [LIBS <lib>...] [LABELS <label>...] [TIMEOUT <s>] [ENV <VAR=value>...])
# One GoogleTest program made of every .cpp in the current source dir; each of its suites is registered with CTest
# with the given labels (default "unit"), a timeout (default 120 s for each test of the suite) and the headless
# environment. The SERIAL suites run with no other test beside them.
function(grindlow_tests name)
  cmake_parse_arguments(T "" "TIMEOUT" "LIBS;LABELS;ENV;SERIAL" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  target_precompile_headers(${name} REUSE_FROM grindlow_test_pch)
  # A program's test files are compiled eight to a unit: each file alone parses the engine's headers again, most
  # of a test file's compile time. So file-local names (anonymous namespaces) must differ within a program.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  # Line tables are all the tests' own code needs for a failure's backtrace, and full debug information is a
  # third of its compile time.
  target_compile_options(${name} PRIVATE ${GRINDLOW_TEST_COMPILE_OPTIONS})
  target_link_libraries(${name} PRIVATE grindlow_options grindlow_test_support ${T_LIBS}
                        GTest::gtest_main GTest::gmock Threads::Threads)
  set(env ${GRINDLOW_TEST_ENV} ${T_ENV})
  # The ThreadSanitizer run builds only the programs with thread tests (target thread_tests, Tests/CMakeLists.txt).
  if("threads" IN_LIST T_LABELS)
    set_property(GLOBAL APPEND PROPERTY GRINDLOW_THREAD_TEST_PROGRAMS ${name})
  endif()
  # One CTest test per suite of the program, found when CTest runs (cmake/GTestSuites.cmake).
  set(suites "${CMAKE_CURRENT_BINARY_DIR}/${name}_suites")
  file(GENERATE OUTPUT "${suites}_include.cmake" CONTENT "set(SUITES_PROGRAM [==[$<TARGET_FILE:${name}>]==])
set(SUITES_WORKDIR [==[${CMAKE_CURRENT_BINARY_DIR}]==])
set(SUITES_LABELS [==[${T_LABELS}]==])
set(SUITES_TIMEOUT ${T_TIMEOUT})
set(SUITES_SERIAL [==[${T_SERIAL}]==])
set(SUITES_ENV [==[${env}]==])
set(SUITES_LIST [==[${suites}.txt]==])
include([==[${CMAKE_SOURCE_DIR}/cmake/GTestSuites.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${suites}_include.cmake")
endfunction()

# grindlow_test_helper(<test program> <helper> SOURCES <src>... [LIBS <lib>...])
# A small program that tests of <test program> start with KvTestRunProgram (a second process, a program that
# dies): built with the test program, its path given to the tests as the macro <HELPER>_PATH (upper case).
function(grindlow_test_helper tests helper)
  cmake_parse_arguments(H "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${helper} ${H_SOURCES})
  target_link_libraries(${helper} PRIVATE grindlow_options ${H_LIBS} Threads::Threads)
  add_dependencies(${tests} ${helper})
  string(TOUPPER "${helper}" macro)
  target_compile_definitions(${tests} PRIVATE "${macro}_PATH=\"$<TARGET_FILE:${helper}>\"")
endfunction()

# grindlow_benchmark(<name> SOURCES <src>... [LIBS <lib>...])
# Every benchmark program reads Bench/BenchMain.h ahead of its sources and links the shared main beside them: its
# run reports through a reporter that notes errors, and it exits with status 1 when a run stopped with one.
function(grindlow_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT benchmark_FOUND)
    return()
  endif()
  add_executable(${name} ${B_SOURCES} "${CMAKE_SOURCE_DIR}/Bench/BenchMain.cpp")
  target_compile_options(${name} PRIVATE "SHELL:-include ${CMAKE_SOURCE_DIR}/Bench/BenchMain.h")
  target_link_libraries(${name} PRIVATE grindlow_options ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
