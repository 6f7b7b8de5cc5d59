# Writes the build number to OUTPUT, and touches it only when the number changed: QUORLE_BUILD_NUMBER
# when set, else the number of commits of the git checkout in SOURCE_DIR, else 0.
set(number 0)
if(DEFINED ENV{QUORLE_BUILD_NUMBER} AND NOT "$ENV{QUORLE_BUILD_NUMBER}" STREQUAL "")
  set(number "$ENV{QUORLE_BUILD_NUMBER}")
elseif(DEFINED OVERRIDE AND NOT OVERRIDE STREQUAL "")
  set(number "${OVERRIDE}")
else()
  find_program(GIT git)
  # Only this project's own checkout counts: a source tree unpacked inside another repository
  # would otherwise take that repository's commits.
  if(GIT AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT}" rev-list --count HEAD WORKING_DIRECTORY "${SOURCE_DIR}"
                    OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE result ERROR_QUIET)
    if(result EQUAL 0 AND count MATCHES "^[0-9]+$")
      set(number "${count}")
    endif()
  endif()
endif()
# Each part of a version is a 16-bit number.
if(NOT number MATCHES "^[0-9]+$" OR number GREATER 65535)
  message(FATAL_ERROR "QUORLE_BUILD_NUMBER must be a whole number from 0 to 65535, not '${number}'")
endif()
file(WRITE "${OUTPUT}.new" "${number}\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
