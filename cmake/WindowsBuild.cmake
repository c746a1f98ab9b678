# Windows builds (MinGW-w64, made by scripts/build-windows.sh). Every program and DLL goes to one
# folder, so that they find each other as they will once installed; installed, they sit at the top
# of the installation folder, as Windows programs do.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_INSTALL_BINDIR .)

# What a program needs at run time besides our own DLLs: Qt's DLLs and plugins, and MinGW's runtime.
get_target_property(corvane_qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(CORVANE_QT_BIN_DIR ${corvane_qt_core_dll} DIRECTORY)
get_filename_component(CORVANE_QT_PLUGIN_DIR ${CORVANE_QT_BIN_DIR}/../plugins ABSOLUTE)
set(CORVANE_MINGW_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path ${path} ABSOLUTE)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "${dll} not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    list(APPEND CORVANE_MINGW_RUNTIME_DLLS ${path})
endforeach()

# Tests run under Wine (tests/wine/run-test.sh), which is told where these are.
set(CORVANE_WINE_RUN ${PROJECT_SOURCE_DIR}/tests/wine/run-test.sh)
# Our ZEKSDK.dll too, for the tests linked to it (halvetrano/: CORVANE_ZEKSDK_DIR).
set(wine_dirs ${CORVANE_QT_BIN_DIR} ${CMAKE_BINARY_DIR}/lib/corvane)
foreach(dll ${CORVANE_MINGW_RUNTIME_DLLS})
    get_filename_component(dir ${dll} DIRECTORY)
    list(APPEND wine_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES wine_dirs)
string(JOIN ":" wine_dirs ${wine_dirs})
set(CORVANE_WINE_ENVIRONMENT "CORVANE_WINE_DLL_DIRS=${wine_dirs}" "CORVANE_WINE_PLUGIN_DIR=${CORVANE_QT_PLUGIN_DIR}")
