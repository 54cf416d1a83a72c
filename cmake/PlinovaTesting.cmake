# One way to declare a test program and one way to declare a fuzzer, for every test folder.
include(GoogleTest)

# Cross-built for Windows, the test programs run under wine inside the host's far end, which
# keeps their serial lines and test printers on the host's pseudo-terminals
# (tests/support/ComFarEnd.cpp; scripts/test-windows.sh builds it for the host).
set(PLINOVA_COM_FAR_END "" CACHE FILEPATH "The host's plinova_com_far_end program")
if(CMAKE_CROSSCOMPILING AND NOT PLINOVA_COM_FAR_END)
    message(STATUS "No far end (PLINOVA_COM_FAR_END): the tests on serial lines are not run")
endif()

# plinova_test_code_options(<target>)
# The tests' own code is compiled without optimisation and with little debug information: it
# is the larger part of every build, and the code under test keeps the build's own options.
function(plinova_test_code_options target)
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -O0 -g1)
    endif()
endfunction()

# plinova_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                  [GUI] [TIMEOUT <seconds>] [DEFINITIONS <defs...>] [DEPENDS <targets...>])
# Builds a GoogleTest program and registers each of its cases with CTest. GUI runs the cases on
# Qt's off-screen platform. A program without its own main() links gtest_main through LIBS.
function(plinova_add_test name)
    cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;DEFINITIONS;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS})
    plinova_test_code_options(${name})
    if(T_DEFINITIONS)
        target_compile_definitions(${name} PRIVATE ${T_DEFINITIONS})
    endif()
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    set(properties)
    if(T_LABELS)
        list(APPEND properties LABELS "${T_LABELS}")
    endif()
    if(T_GUI)
        list(APPEND properties ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    endif()
    if(T_TIMEOUT)
        list(APPEND properties TIMEOUT ${T_TIMEOUT})
    endif()
    # A cross-built program is listed by the emulator when CTest runs, not while building;
    # wine may take a while to start one on a loaded machine.
    set(mode POST_BUILD)
    set(timeout 30)
    if(CMAKE_CROSSCOMPILING)
        set(mode PRE_TEST)
        set(timeout 120)
        if(PLINOVA_COM_FAR_END AND CMAKE_CROSSCOMPILING_EMULATOR)
            set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                "${PLINOVA_COM_FAR_END};--printers;--;${CMAKE_CROSSCOMPILING_EMULATOR}")
        endif()
    endif()
    if(properties)
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${timeout} DISCOVERY_MODE ${mode}
            PROPERTIES ${properties})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${timeout} DISCOVERY_MODE ${mode})
    endif()
endfunction()

# plinova_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>] [INCLUDES <dirs...>])
# Builds a libFuzzer program with Clang only (scripts/fuzz.sh builds and runs them). The code
# under test belongs in SOURCES rather than LIBS, so that it carries the fuzzer's coverage
# instrumentation, so the folders its headers come from are given in INCLUDES: a library's
# include/ for its public headers, the library's own folder for its private ones.
function(plinova_add_fuzzer name)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${F_INCLUDES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    if(F_LIBS)
        target_link_libraries(${name} PRIVATE ${F_LIBS})
    endif()
endfunction()
