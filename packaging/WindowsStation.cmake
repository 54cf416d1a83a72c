# A Windows station: `cmake --install <build> --prefix C:\Station` puts plinova.exe and
# plinova-queue.exe at the top of the prefix, the station folder, where the program finds the
# station's Molvar.udl beside itself, with the Qt libraries and plugins (the SQL drivers among
# them) that Qt's deployment script finds for it.
set(CMAKE_INSTALL_BINDIR .)
install(TARGETS plinova plinova-queue RUNTIME DESTINATION .)
qt_generate_deploy_app_script(TARGET plinova OUTPUT_SCRIPT plinova_deploy_script
    NO_UNSUPPORTED_PLATFORM_ERROR)
install(SCRIPT ${plinova_deploy_script})
