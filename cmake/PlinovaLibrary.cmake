# plinova_library_headers(<target> [NO_PUBLIC_HEADERS])
# A library shows the rest of the program only the headers in its folder's include/, which are
# included as "<folder>/<name>.h" ("serial/CPort.h" is serial/include/serial/CPort.h). The other
# headers stay in the folder, its own: the library's sources include them by their path in the
# folder ("ComRequest.h", "posix/PosixSys.h"), and no one else can. NO_PUBLIC_HEADERS leaves out
# include/ for a library whose folder shares it with another library and shows nothing itself.
#
# <target>_internals opens the folder to the library's tests, benchmarks and fuzzers, and to the
# test support: they link it and include the private headers by the same paths.
function(plinova_library_headers target)
    cmake_parse_arguments(L "NO_PUBLIC_HEADERS" "" "" ${ARGN})
    if(NOT L_NO_PUBLIC_HEADERS AND IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include)
        target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    endif()
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    add_library(${target}_internals INTERFACE)
    target_link_libraries(${target}_internals INTERFACE ${target})
    target_include_directories(${target}_internals INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
