# Fails when a C++ file of ours is not as clang-format would write it.
cmake_minimum_required(VERSION 3.25) # globbing never follows links (the recorded trees hold some)
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.hpp
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.hpp ${SOURCE_DIR}/bench/*.cpp
     ${SOURCE_DIR}/fuzz/*.cpp)
list(FILTER sources EXCLUDE REGEX "/tests/data/")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "clang-format would change the files above")
endif()
