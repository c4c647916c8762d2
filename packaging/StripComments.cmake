# Run by CPack on the staged files, after its strip and before it packs them:
# drops the compiler's .comment section from the programs, as Debian does for
# its own packages, so the package carries nothing a running program never reads.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "StripComments: no programs under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
    execute_process(
        COMMAND ${CPACK_TROVEWICK_OBJCOPY} --remove-section=.comment --remove-section=.note ${program}
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "StripComments: ${CPACK_TROVEWICK_OBJCOPY} failed on ${program}")
    endif()
endforeach()
