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

# The one main of every test program (tests/support/TestMain.cpp), compiled into each program
# with what that program asks for.
set(PLINOVA_TEST_MAIN_SOURCE ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp)

# plinova_test_main(<target> [<needs...>])
# Gives <target> the test main, set up for <needs>: CORE_APP or WIDGETS_APP (the Qt application
# object), DB_WORKERS (the database's worker threads prepared), MODEM_WAKE (the modem wake
# signal claimed). Qt's platform and the application's name are the string definitions
# PLINOVA_TEST_QT_PLATFORM, PLINOVA_TEST_QT_PLATFORM_DEFAULT and PLINOVA_TEST_APPLICATION_NAME.
function(plinova_test_main target)
    set(known CORE_APP WIDGETS_APP DB_WORKERS MODEM_WAKE)
    foreach(need IN LISTS ARGN)
        if(NOT need IN_LIST known)
            message(FATAL_ERROR "${target}: the test main has no ${need} (it knows ${known})")
        endif()
        target_compile_definitions(${target} PRIVATE PLINOVA_TEST_MAIN_${need})
    endforeach()
    target_sources(${target} PRIVATE ${PLINOVA_TEST_MAIN_SOURCE})
    target_link_libraries(${target} PRIVATE GTest::gtest)
endfunction()

# plinova_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                  [GUI] [TIMEOUT <seconds>] [DEFINITIONS <defs...>] [DEPENDS <targets...>]
#                  [MAIN <needs...>])
# Builds a GoogleTest program and registers each of its cases with CTest. GUI runs the cases on
# Qt's off-screen platform. MAIN lists what the program's main sets up (plinova_test_main).
function(plinova_add_test name)
    cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;DEFINITIONS;DEPENDS;MAIN" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS})
    plinova_test_main(${name} ${T_MAIN})
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
    if("threaded" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY PLINOVA_THREADED_TESTS ${name})
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
# Its seed corpus is corpus/<the name's last word> beside its first source.
function(plinova_add_fuzzer name)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
    list(GET F_SOURCES 0 first)
    get_filename_component(first "${first}" ABSOLUTE)
    get_filename_component(folder "${first}" DIRECTORY)
    string(REGEX REPLACE ".*_" "" corpus "${name}")
    set_property(GLOBAL APPEND PROPERTY PLINOVA_FUZZERS
        "${name}\t$<TARGET_FILE:${name}>\t${folder}/corpus/${corpus}")
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${F_INCLUDES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    if(F_LIBS)
        target_link_libraries(${name} PRIVATE ${F_LIBS})
    endif()
endfunction()

# The lists the scripts read from a configured build: build/fuzzers.txt, a fuzzer a line (its
# target, program and seed corpus, separated by tabs; scripts/fuzz.sh), and
# build/threaded-tests.txt, the test programs labelled "threaded" (scripts/sanitize.sh).
function(plinova_write_test_lists)
    get_property(fuzzers GLOBAL PROPERTY PLINOVA_FUZZERS)
    list(JOIN fuzzers "\n" fuzzers)
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/fuzzers.txt" CONTENT "${fuzzers}\n")
    get_property(threaded GLOBAL PROPERTY PLINOVA_THREADED_TESTS)
    list(JOIN threaded "\n" threaded)
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/threaded-tests.txt" CONTENT "${threaded}\n")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL plinova_write_test_lists)
