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
set(CORVANE_INSTALLER Corvane-${PROJECT_VERSION}-win64-setup)
set(CPACK_PACKAGE_FILE_NAME ${CORVANE_INSTALLER})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Corvane)
set(CPACK_PACKAGE_EXECUTABLES corvane Corvane) # the Start-menu entry
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME corvane.exe)
set(CPACK_NSIS_DISPLAY_NAME Corvane)
set(CPACK_NSIS_PACKAGE_NAME Corvane)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# An administrator installs for every user (Program Files); anyone else for themselves (CMake's
# template then installs to their Documents folder), without being asked for a password. And a
# 64-bit installer for a 64-bit program: NSIS makes 32-bit ones unless told.
set(CPACK_NSIS_DEFINES "RequestExecutionLevel highest\nTarget amd64-unicode")
include(CPack)

# The installer made by scripts/package-windows.sh installs, runs and uninstalls under Wine.
if(NOT CORVANE_FUZZ)
    add_test(NAME windows-installer
             COMMAND ${PROJECT_SOURCE_DIR}/tests/netns-run.sh ${CORVANE_WINE_RUN} --shell
                     ${PROJECT_SOURCE_DIR}/tests/wine/installer-check.sh
                     ${CMAKE_BINARY_DIR}/${CORVANE_INSTALLER}.exe)
    set_tests_properties(windows-installer PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
