# A build folder whose path holds spaces, quotes and a backslash packs an archive from a generated file named by
# a manifest line, as the game's content build does (Content/CMakeLists.txt); the pack rule then reads the
# archive back with the engine. RunSpacePath.cmake makes a project of this file in a folder with spaces, and
# configures and builds it with the magpack already built. SPACE_DIR is this file's folder.

add_executable(magpack IMPORTED)
set_target_properties(magpack PROPERTIES IMPORTED_LOCATION "${MAGPACK}")
include("${GRINDLOW_SOURCE_DIR}/cmake/ToolProgram.cmake")
include("${GRINDLOW_SOURCE_DIR}/Tools/magpack/MagPack.cmake")

set(generated "${CMAKE_BINARY_DIR}/made here/Table one.lang")
add_custom_command(
  OUTPUT "${generated}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/made here"
  COMMAND "${CMAKE_COMMAND}" -E copy "${SPACE_DIR}/Input.txt" "${generated}"
  DEPENDS "${SPACE_DIR}/Input.txt"
  VERBATIM)
add_custom_target(generated_input DEPENDS "${generated}")

grindlow_manifest_file_line(line "Lang/eng/Strings/Table one.lang" "${generated}" compress encrypt)
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/SPC.manifest" CONTENT "*.txt compress\n${line}")
grindlow_pack_archive(space_archive NAME SPC ROOT "${SPACE_DIR}/Root"
                      MANIFEST "${CMAKE_BINARY_DIR}/SPC.manifest" OUTPUT_DIR "${CMAKE_BINARY_DIR}/Data dir"
                      KEY "space key" DEPENDS generated_input "${generated}")
