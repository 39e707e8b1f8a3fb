# Copies the first PERCENT per cent of the bytes of IN to OUT.
#   cmake -DIN=<file> -DOUT=<file> -DPERCENT=<0-100> -P TruncateFile.cmake
if(NOT IN OR NOT OUT OR NOT PERCENT)
  message(FATAL_ERROR "TruncateFile: give -DIN=<file> -DOUT=<file> -DPERCENT=<n>")
endif()
file(SIZE "${IN}" size)
math(EXPR keep "${size} * ${PERCENT} / 100")
execute_process(COMMAND head -c ${keep} "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "TruncateFile: could not copy ${keep} bytes of ${IN} to ${OUT}")
endif()
