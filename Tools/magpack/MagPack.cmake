# grindlow_pack_archive(<target> NAME <name> OUTPUT_DIR <dir> [ROOT <dir>] [MANIFEST <file>] [KEY <key>]
#                       [DEPENDS <file or target>...])
#
# Builds <dir>/<name>_win32.mtc and <dir>/<name>_win32.mdf with magpack from every file under ROOT (flags by the
# manifest's rules) and the manifest's "file" lines, as part of the ALL target <target>. ROOT and MANIFEST are
# taken relative to the calling folder. KEY (1 to 15 characters) is needed when anything is encrypted. The
# archive is packed again when the tool, the manifest or any input changes (files added under ROOT included).
# DEPENDS names generated files that the manifest's "file" lines take, and the targets that make them. What
# was packed is then read back whole with the engine's reader (magpack check); a failure fails the build.
function(grindlow_pack_archive target)
  cmake_parse_arguments(P "" "NAME;OUTPUT_DIR;ROOT;MANIFEST;KEY" "DEPENDS" ${ARGN})
  if(NOT P_NAME OR NOT P_OUTPUT_DIR OR (NOT P_ROOT AND NOT P_MANIFEST))
    message(FATAL_ERROR "grindlow_pack_archive(${target}): NAME, OUTPUT_DIR and ROOT or MANIFEST are needed")
  endif()
  set(toc "${P_OUTPUT_DIR}/${P_NAME}_win32.mtc")
  set(data "${P_OUTPUT_DIR}/${P_NAME}_win32.mdf")
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${target}.d")
  set(args pack --name "${P_NAME}" --out "${P_OUTPUT_DIR}" --depfile "${depfile}" --quiet)
  grindlow_tool_program(magpack magpack)
  set(deps "${magpack}")
  if(P_ROOT)
    get_filename_component(root "${P_ROOT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS "${root}/*")
    list(APPEND args --root "${root}")
    list(APPEND deps ${inputs})
  endif()
  if(P_MANIFEST)
    get_filename_component(manifest "${P_MANIFEST}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND args --manifest "${manifest}")
    list(APPEND deps "${manifest}")
  endif()
  if(P_KEY)
    list(APPEND args --key "${P_KEY}")
  endif()
  list(APPEND deps ${P_DEPENDS})
  set(check_args check --dir "${P_OUTPUT_DIR}" --name "${P_NAME}")
  if(P_KEY)
    list(APPEND check_args --key "${P_KEY}")
  endif()
  add_custom_command(
    OUTPUT "${toc}" "${data}"
    COMMAND "${magpack}" ${args}
    COMMAND "${magpack}" ${check_args}
    DEPENDS ${deps}
    DEPFILE "${depfile}"
    COMMENT "Packing archive ${P_NAME} into ${P_OUTPUT_DIR}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${toc}" "${data}")
endfunction()

# grindlow_manifest_file_line(<out var> <archive path> <source file> [<flag>...])
# One "file" line of a manifest, its paths quoted so that they may hold spaces, quotes and backslashes.
function(grindlow_manifest_file_line out_var archive_path source)
  set(words "")
  foreach(word IN ITEMS "${archive_path}" "${source}")
    string(REPLACE "\\" "\\\\" word "${word}")
    string(REPLACE "\"" "\\\"" word "${word}")
    list(APPEND words "\"${word}\"")
  endforeach()
  list(APPEND words ${ARGN})
  list(JOIN words " " line)
  set(${out_var} "file ${line}\n" PARENT_SCOPE)
endfunction()
