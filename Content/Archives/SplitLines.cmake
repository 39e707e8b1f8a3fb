# cmake -DIN=<file> -DMATCH=<regex> -DOUT_MATCHING=<file> -DOUT_REST=<file> -P SplitLines.cmake
# Splits the lines of a manifest: those that match the regular expression go to one file, the others to another.
file(STRINGS "${IN}" lines)
set(matching "")
set(rest "")
foreach(line IN LISTS lines)
  if(line MATCHES "${MATCH}")
    string(APPEND matching "${line}\n")
  else()
    string(APPEND rest "${line}\n")
  endif()
endforeach()
file(WRITE "${OUT_MATCHING}" "${matching}")
file(WRITE "${OUT_REST}" "${rest}")
