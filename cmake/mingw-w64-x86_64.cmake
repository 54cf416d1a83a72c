# Cross-builds for 64-bit Windows with Debian's mingw-w64 compiler (POSIX threads model, for
# std::thread) and runs the test programs under wine:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#       -DPLINOVA_WINDOWS_PREFIX=<Qt for Windows prefix>
# The prefix holds Qt 6, SQLite and the PostgreSQL client built for Windows
# (scripts/qt-windows-prefix.sh prints one); Qt's host tools (moc, rcc, uic) are Debian's own
# of the same version. Every program shares the compiler's runtime DLLs with Qt's own DLLs (one
# C++ runtime and one threads library in the process); the deployed folder carries them.
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
if(NOT PLINOVA_WINDOWS_PREFIX)
    message(FATAL_ERROR "PLINOVA_WINDOWS_PREFIX: the prefix of Qt for Windows is needed "
        "(bash scripts/qt-windows-prefix.sh prints one)")
endif()
list(APPEND CMAKE_PREFIX_PATH ${PLINOVA_WINDOWS_PREFIX})
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

find_program(PLINOVA_WINE NAMES wine64 wine)
if(PLINOVA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PLINOVA_WINE})
endif()
