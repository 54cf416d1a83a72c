# One way to declare a test program and one way to declare a fuzzer, for every test folder.
include(GoogleTest)

# plinova_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                  [GUI] [TIMEOUT <seconds>] [DEFINITIONS <defs...>] [DEPENDS <targets...>])
# Builds a GoogleTest program and registers each of its cases with CTest. GUI runs the cases on
# Qt's off-screen platform. A program without its own main() links gtest_main through LIBS.
function(plinova_add_test name)
    cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;DEFINITIONS;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS})
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
# instrumentation. Includes resolve from the project's root unless INCLUDES says otherwise.
function(plinova_add_fuzzer name)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${F_INCLUDES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    if(F_LIBS)
        target_link_libraries(${name} PRIVATE ${F_LIBS})
    endif()
endfunction()
