# Cross-builds for 64-bit Windows with Debian's mingw-w64 compiler (POSIX threads model, for
# std::thread) and runs the test programs under wine:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#       [-DPLINOVA_WINDOWS_PREFIX=<Qt for Windows prefix>]
# With PLINOVA_WINDOWS_PREFIX (a prefix holding Qt 6, SQLite and the PostgreSQL client built
# for Windows: scripts/qt-windows-prefix.sh prints one) the whole program is built; Qt's host
# tools (moc, rcc, uic) are Debian's own of the same version.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Checks that try a compile read the toolchain again: hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PLINOVA_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PLINOVA_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(PLINOVA_WINDOWS_PREFIX)
    list(APPEND CMAKE_PREFIX_PATH ${PLINOVA_WINDOWS_PREFIX})
    set(QT_HOST_PATH /usr)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Without Qt the compiler's own runtime is linked in, so that a program runs without its DLLs
# beside it. With Qt every program shares the runtime DLLs that Qt's own DLLs use (one C++
# runtime and one threads library in the process); the deployed folder carries them.
if(NOT PLINOVA_WINDOWS_PREFIX)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

find_program(PLINOVA_WINE NAMES wine64 wine)
if(PLINOVA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PLINOVA_WINE})
endif()
