# Run by cpack on the staged files, before it builds the package
# (CPACK_PRE_BUILD_SCRIPTS): takes the compiler's .comment and .note sections
# out of the stripped programs, as Debian's own tools do.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program ${programs})
  execute_process(COMMAND "${CPACK_TAVREL_STRIP}" --remove-section=.comment --remove-section=.note
                          "${program}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
