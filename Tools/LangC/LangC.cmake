# grindlow_compile_lang(<target> SOURCE_DIR <dir> OUTPUT_DIR <dir>)
#
# Compiles every string-table source <SOURCE_DIR>/<code>/<Table>.txt, where <code> is a three-letter language
# code ("eng", "fra", ...), into <OUTPUT_DIR>/<code>/Strings/<Table>.lang with langc. With OUTPUT_DIR set to
# the data root's "Lang" folder this is where the engine looks for a table: the language folder
# "Lang\<code>\" + "Strings\" + <Table> + ".lang". Each table is then loaded with the engine's loader
# (langc --check); a table it refuses fails the build. The custom target <target> (built by default) makes them
# all; the variable <target>_OUTPUTS lists the tables for the caller.
function(grindlow_compile_lang target)
  cmake_parse_arguments(L "" "SOURCE_DIR;OUTPUT_DIR" "" ${ARGN})
  if(NOT L_SOURCE_DIR OR NOT L_OUTPUT_DIR)
    message(FATAL_ERROR "grindlow_compile_lang: SOURCE_DIR and OUTPUT_DIR are required")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${L_SOURCE_DIR}/*/*.txt")
  grindlow_tool_program(langc langc)
  set(outputs "")
  foreach(source IN LISTS sources)
    get_filename_component(table "${source}" NAME_WE)
    get_filename_component(language_dir "${source}" DIRECTORY)
    get_filename_component(code "${language_dir}" NAME)
    if(NOT code MATCHES "^[a-z][a-z][a-z]$")
      message(FATAL_ERROR "grindlow_compile_lang: ${source} is not in a three-letter language folder")
    endif()
    set(output "${L_OUTPUT_DIR}/${code}/Strings/${table}.lang")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${L_OUTPUT_DIR}/${code}/Strings"
      COMMAND "${langc}" "${source}" "${output}"
      COMMAND "${langc}" --check "${output}"
      DEPENDS "${langc}" "${source}"
      COMMENT "String table ${code}/${table}.lang"
      VERBATIM)
    list(APPEND outputs "${output}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
  set(${target}_OUTPUTS "${outputs}" PARENT_SCOPE)
endfunction()
