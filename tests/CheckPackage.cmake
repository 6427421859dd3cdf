# Builds the Debian package from the build tree and runs lintian on it: no error, no warning.
# Run by CTest with -DBINARY_DIR, -DCPACK and -DLINTIAN.
set(out ${BINARY_DIR}/package-check)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CPACK} -G DEB -B ${out} --config ${BINARY_DIR}/CPackConfig.cmake
                RESULT_VARIABLE packed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT packed EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB debs ${out}/*.deb)
if(NOT debs)
    message(FATAL_ERROR "cpack made no .deb:\n${log}")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --tag-display-limit 0 ${debs}
                RESULT_VARIABLE checked OUTPUT_VARIABLE report ERROR_VARIABLE noise)
if(NOT checked EQUAL 0)
    message(FATAL_ERROR "lintian on ${debs}:\n${report}")
endif()
message(STATUS "lintian: clean\n${report}")
