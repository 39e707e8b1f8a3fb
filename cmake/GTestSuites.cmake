# Read by CTest (a directory's TEST_INCLUDE_FILES, written by grindlow_tests): one CTest test per GoogleTest suite
# of a test program, run as `<program> --gtest_filter=<suite>.*`. A process per suite instead of one per test: the
# start of a test process (the engine's libraries, the GL drivers, a sanitizer's shadow memory) cost more than most
# tests in it.
# In: SUITES_PROGRAM, SUITES_WORKDIR, SUITES_LABELS, SUITES_TIMEOUT (per test; a suite gets it once for each of its
# tests), SUITES_SERIAL (the suites that run alone), SUITES_ENV, SUITES_LIST (the file the suites are kept in while
# the program is unchanged).
if(NOT EXISTS "${SUITES_PROGRAM}")
  add_test("${SUITES_PROGRAM}_NOT_BUILT" "${SUITES_PROGRAM}")
  return()
endif()
if(NOT EXISTS "${SUITES_LIST}" OR "${SUITES_PROGRAM}" IS_NEWER_THAN "${SUITES_LIST}")
  execute_process(COMMAND "${SUITES_PROGRAM}" --gtest_list_tests WORKING_DIRECTORY "${SUITES_WORKDIR}"
                  OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 120)
  if(NOT result EQUAL 0)
    # The listing failed (a crash while the program starts): a test that runs it shows how.
    add_test("${SUITES_PROGRAM}_LIST" "${SUITES_PROGRAM}" --gtest_list_tests)
    return()
  endif()
  # "Suite." (or "Instance/Suite.  # TypeParam = ...") starts a suite; each indented line is one of its tests.
  set(suites "")
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #]+)\\.( |$)")
      set(suite "${CMAKE_MATCH_1}")
      list(APPEND suites "${suite}")
      set(count_${suite} 0)
    elseif(line MATCHES "^  [^ ]" AND DEFINED suite)
      math(EXPR count_${suite} "${count_${suite}} + 1")
    endif()
  endforeach()
  set(content "")
  foreach(suite IN LISTS suites)
    string(APPEND content "${suite} ${count_${suite}}\n")
  endforeach()
  file(WRITE "${SUITES_LIST}" "${content}")
endif()
file(STRINGS "${SUITES_LIST}" entries)
foreach(entry IN LISTS entries)
  string(REPLACE " " ";" entry "${entry}")
  list(GET entry 0 suite)
  list(GET entry 1 count)
  math(EXPR timeout "${SUITES_TIMEOUT} * ${count}")
  list(FIND SUITES_SERIAL "${suite}" serial_at)
  set(serial FALSE)
  if(serial_at GREATER -1)
    set(serial TRUE)
  endif()
  add_test("${suite}" "${SUITES_PROGRAM}" "--gtest_filter=${suite}.*")
  set_tests_properties("${suite}" PROPERTIES WORKING_DIRECTORY "${SUITES_WORKDIR}" LABELS "${SUITES_LABELS}"
                       TIMEOUT "${timeout}" ENVIRONMENT "${SUITES_ENV}" RUN_SERIAL ${serial})
endforeach()
