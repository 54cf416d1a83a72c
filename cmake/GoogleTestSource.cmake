# GoogleTest: the installed package natively; built from Debian's source package (googletest,
# /usr/src/googletest) when cross compiling, since no package holds it built for the target.
if(CMAKE_CROSSCOMPILING)
    set(PLINOVA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
    if(NOT EXISTS ${PLINOVA_GTEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "No GoogleTest source in ${PLINOVA_GTEST_SOURCE} "
            "(install Debian's googletest package)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${PLINOVA_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(target gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${target})
            add_library(GTest::${target} ALIAS ${target})
        endif()
    endforeach()
else()
    find_package(GTest REQUIRED)
endif()
