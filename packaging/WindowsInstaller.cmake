# The Windows installer, made by CPack's NSIS generator from the station's program folder
# (component plinova, WindowsStation.cmake): `cpack -B <folder>` run in the build folder, with
# NSIS's makensis on PATH, writes plinova-<version>-win64.exe.
#
# It installs for the whole machine (it asks for an administrator) into Program Files\Plinova,
# adds the Start menu's Plinova folder (the program, and the uninstaller) and lists the
# uninstaller among the system's installed programs. The uninstaller removes the files the
# installer put there and nothing else: station folders lie elsewhere, each with its own
# profile files and data link, and the start entries a station's user made stay with them.
set(CPACK_GENERATOR NSIS64)
set(CPACK_PACKAGE_NAME plinova)
set(CPACK_PACKAGE_VENDOR Plinova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME plinova-${PROJECT_VERSION}-win64)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Plinova;plinova;/")
set(CPACK_STRIP_FILES ON)
# The values reach CPack as written here, quotes and backslashes of NSIS script included.
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_PACKAGE_INSTALL_DIRECTORY Plinova)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Plinova)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Plinova)
set(CPACK_NSIS_DISPLAY_NAME "Plinova ${PROJECT_VERSION}")
set(CPACK_NSIS_CONTACT "Plinova <packages@plinova.example>")
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# A new version first runs the old one's uninstaller, so that no file of it stays behind.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)

# The installer itself is a 64-bit program, as what it installs: its registry entries land in
# the machine's own view, not in the one kept for 32-bit programs.
set(CPACK_NSIS_DEFINES "  Target amd64-unicode")

set(CPACK_NSIS_MUI_ICON "${plinova_icon}")
set(CPACK_NSIS_MUI_UNIICON "${plinova_icon}")
set(CPACK_NSIS_INSTALLED_ICON_NAME plinova.ico)
# The Start menu's entry starts the program in its own folder, with its icon.
set(CPACK_NSIS_CREATE_ICONS_EXTRA "  SetOutPath \"$INSTDIR\"
  CreateShortCut \"$SMPROGRAMS\\$STARTMENU_FOLDER\\Plinova.lnk\" \"$INSTDIR\\plinova.exe\" \"\" \"$INSTDIR\\plinova.ico\"")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete \"$SMPROGRAMS\\$MUI_TEMP\\Plinova.lnk\"")

include(CPack)
