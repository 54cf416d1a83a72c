# A Windows station's program folder: `cmake --install <build> --prefix <folder> --component
# plinova` puts plinova.exe and plinova-queue.exe at the top of the folder with every library
# and plugin they load beside them, so that copying the folder to a Windows PC is an
# installation (the installer made by CPack holds the same files, WindowsInstaller.cmake).
# `--strip` strips them all, as the installer does.
#
# Qt finds its plugins in the program's own folder (platforms/, styles/, sqldrivers/); the
# DLLs that are no Qt target (SQLite, the PostgreSQL client, the compiler's runtime, which
# Qt's DLLs need whatever the program links) lie in the same folder as Qt's own.
install(TARGETS plinova plinova-queue RUNTIME DESTINATION . COMPONENT plinova)

# The DLLs installed, by their path in the folder: the programs are stripped as targets, these
# by the rule at the end.
set(plinova_windows_strip)
set(qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Sql)
install(IMPORTED_RUNTIME_ARTIFACTS ${qt_libraries} RUNTIME DESTINATION . COMPONENT plinova)
foreach(target ${qt_libraries})
    get_target_property(dll ${target} IMPORTED_LOCATION_RELEASE)
    get_filename_component(name "${dll}" NAME)
    list(APPEND plinova_windows_strip ${name})
endforeach()
# The window's platform and style; the SQL drivers the data link's providers reach.
foreach(plugin
        platforms=QWindowsIntegrationPlugin
        styles=QWindowsVistaStylePlugin
        sqldrivers=QSQLiteDriverPlugin
        sqldrivers=QPSQLDriverPlugin
        sqldrivers=QODBCDriverPlugin)
    string(REPLACE "=" ";" plugin "${plugin}")
    list(GET plugin 0 folder)
    list(GET plugin 1 name)
    set(target Qt6::${name})
    if(NOT TARGET ${target})
        message(FATAL_ERROR "Qt for Windows has no ${target}: the station needs it")
    endif()
    install(IMPORTED_RUNTIME_ARTIFACTS ${target} LIBRARY DESTINATION ${folder}
        COMPONENT plinova)
    get_target_property(dll ${target} IMPORTED_LOCATION_RELEASE)
    get_filename_component(name "${dll}" NAME)
    list(APPEND plinova_windows_strip ${folder}/${name})
endforeach()

get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin "${qt_core_dll}" DIRECTORY)
set(plinova_windows_dlls sqlite3.dll libpq.dll libstdc++-6.dll libgcc_s_seh-1.dll
    libwinpthread-1.dll)
foreach(dll ${plinova_windows_dlls})
    if(NOT EXISTS "${qt_bin}/${dll}")
        message(FATAL_ERROR "${dll} is not beside Qt's DLLs in ${qt_bin}: the station needs it")
    endif()
    install(FILES "${qt_bin}/${dll}" DESTINATION . COMPONENT plinova)
    list(APPEND plinova_windows_strip ${dll})
endforeach()

# The DLLs come with their debug information and symbols (the compiler's runtime is most of
# the folder's size); a stripped install drops them, as Debian's packages do.
if(CMAKE_STRIP)
    install(CODE "set(plinova_strip \"${CMAKE_STRIP}\")
set(plinova_strip_files \"${plinova_windows_strip}\")" COMPONENT plinova)
    install(CODE [[
if(CMAKE_INSTALL_DO_STRIP)
    foreach(file ${plinova_strip_files})
        set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${file}")
        execute_process(COMMAND "${plinova_strip}" --strip-unneeded "${path}"
            RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "${plinova_strip} could not strip ${path}")
        endif()
    endforeach()
endif()
]] COMPONENT plinova)
endif()

# The program's icon for the installer, the uninstaller's entry in the system's list and the
# station's shortcuts, made of the pictures the menu entries on Linux use (48 and 128 pixels
# as drawn, the other sizes Windows asks for scaled from them). The build needs ImageMagick
# for it (on Windows its `magick`; `convert` there is a system tool of another kind).
if(CMAKE_HOST_WIN32)
    find_program(PLINOVA_MAGICK NAMES magick)
else()
    find_program(PLINOVA_MAGICK NAMES magick convert)
endif()
if(NOT PLINOVA_MAGICK)
    message(FATAL_ERROR "ImageMagick (magick or convert) is missing: it makes the Windows "
        "program's icon plinova.ico from resources/icons/")
endif()
set(plinova_icon ${CMAKE_CURRENT_BINARY_DIR}/plinova.ico)
set(pictures ${PROJECT_SOURCE_DIR}/resources/icons)
add_custom_command(OUTPUT ${plinova_icon}
    COMMAND ${PLINOVA_MAGICK} ${pictures}/plinova-128.png ( -clone 0 -resize 64x64 )
        ${pictures}/plinova-48.png ( -clone 2 -resize 32x32 ) ( -clone 2 -resize 16x16 )
        ${plinova_icon}
    DEPENDS ${pictures}/plinova-128.png ${pictures}/plinova-48.png VERBATIM)
add_custom_target(plinova_windows_icon ALL DEPENDS ${plinova_icon})
install(FILES ${plinova_icon} DESTINATION . COMPONENT plinova)
