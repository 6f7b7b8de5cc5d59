# Every program carries a version block (description, version, build number, notice) in an ELF
# section of its own, written at build time by quorle-versionblock; the About page and --version
# read it back from the file.
set(QUORLE_DESCRIPTION "SysEx Dump Utility for the Alesis Andromeda")
# Matches the notice in LICENSE.
set(QUORLE_COPYRIGHT "Copyright © 2026 The Quorle developers. MIT License.")
set(QUORLE_BUILD_NUMBER "$ENV{QUORLE_BUILD_NUMBER}" CACHE STRING "Build number when not counted from git (also from the environment)")

add_executable(quorle-versionblock ${CMAKE_SOURCE_DIR}/src/versiontool/main.cpp
                                   ${CMAKE_SOURCE_DIR}/src/app/VersionBlock.cpp)
target_include_directories(quorle-versionblock PRIVATE ${CMAKE_SOURCE_DIR}/src)
set_target_properties(quorle-versionblock PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                     ${CMAKE_BINARY_DIR}/version)

set(QUORLE_BUILD_NUMBER_FILE ${CMAKE_BINARY_DIR}/version/build-number.txt)
# Counted at every build, so a new commit shows without configuring again.
add_custom_target(quorle_build_number
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${QUORLE_BUILD_NUMBER_FILE}
          -DOVERRIDE=${QUORLE_BUILD_NUMBER} -P ${CMAKE_CURRENT_LIST_DIR}/BuildNumber.cmake
  BYPRODUCTS ${QUORLE_BUILD_NUMBER_FILE}
  VERBATIM)

# Gives target a version block naming it; call in the folder that defines target.
function(quorle_version_block target)
  set(source ${CMAKE_BINARY_DIR}/version/${target}-version.cpp)
  add_custom_command(
    OUTPUT ${source}
    COMMAND quorle-versionblock --name ${target} --version ${PROJECT_VERSION}
            --build-file ${QUORLE_BUILD_NUMBER_FILE} --description ${QUORLE_DESCRIPTION}
            --copyright ${QUORLE_COPYRIGHT} --output ${source}
    DEPENDS quorle-versionblock ${QUORLE_BUILD_NUMBER_FILE}
    COMMENT "Version block of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${source})
  add_dependencies(${target} quorle_build_number)
endfunction()
