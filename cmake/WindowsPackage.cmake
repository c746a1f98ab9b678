# What the Windows programs need beside them, installed with them, and the NSIS installer
# (scripts/package-windows.sh) that carries the lot.
set_target_properties(corvane PROPERTIES WIN32_EXECUTABLE ON) # no console window behind the dialog

install(FILES ${CORVANE_MINGW_RUNTIME_DLLS} DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds and configures network cameras on the local network")
set(CPACK_PACKAGE_FILE_NAME Corvane-${PROJECT_VERSION}-win64-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Corvane)
set(CPACK_PACKAGE_EXECUTABLES corvane Corvane) # the Start-menu entry
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME corvane.exe)
set(CPACK_NSIS_DISPLAY_NAME Corvane)
set(CPACK_NSIS_PACKAGE_NAME Corvane)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# An administrator installs for every user (Program Files); anyone else for themselves (CMake's
# template then installs to their Documents folder), without being asked for a password.
set(CPACK_NSIS_DEFINES "RequestExecutionLevel highest")
include(CPack)
