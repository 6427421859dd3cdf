# Fails when a source outside the platform folders (linux/), the composition root (main.cpp)
# and the test doubles (testing/) includes an OS header or a platform folder's header, or
# when product code includes a test double.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.hpp)
set(os_headers "unistd\\.h|fcntl\\.h|dirent\\.h|poll\\.h|spawn\\.h|signal\\.h|pthread\\.h|sched\\.h|pwd\\.h|grp\\.h|dlfcn\\.h|netdb\\.h|termios\\.h|libudev\\.h|sdbus-c\\+\\+/|systemd/|plist/|sys/|linux/|arpa/|netinet/")
set(failures "")
foreach(file IN LISTS sources)
    file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
    set(platform_code FALSE)
    if(relative MATCHES "/linux/|/testing/|/main\\.cpp$")
        set(platform_code TRUE)
    endif()
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
        if(NOT platform_code
           AND (line MATCHES "#[ \t]*include[ \t]*[<\"](${os_headers})"
                OR line MATCHES "#[ \t]*include[ \t]*[<\"][^>\"]*/linux/"))
            string(APPEND failures "  ${relative}: ${line}\n")
        elseif(NOT relative MATCHES "/testing/"
               AND line MATCHES "#[ \t]*include[ \t]*[<\"][^>\"]*/testing/")
            string(APPEND failures "  ${relative}: ${line} (a test double)\n")
        endif()
    endforeach()
endforeach()
if(NOT failures STREQUAL "")
    message(FATAL_ERROR "Platform or test-double headers outside linux/, testing/ and main.cpp:\n${failures}")
endif()
