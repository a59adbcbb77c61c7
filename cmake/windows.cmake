# What a Windows user gets: one folder with the program, the Qt libraries and plugins it loads, the
# MinGW runtime and Qt's own Chinese texts. CPack makes an installer (NSIS) and a zip of that folder.
install(TARGETS kv4820-tool RUNTIME DESTINATION .)
# The Qt libraries it loads (Charts pulls in the two OpenGL ones), and the plugins, in the folders
# beside the program where Qt looks for them.
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::Core Qt6::Gui Qt6::Widgets Qt6::SerialPort Qt6::Charts
        Qt6::OpenGL Qt6::OpenGLWidgets RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)
# MinGW's runtime, where the compiler itself finds it.
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "MinGW's ${dll} not found")
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()

# Qt's translation is data, the same file on every system: the host's copy serves.
find_file(KV_QTBASE_ZH qtbase_zh_CN.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH REQUIRED)
install(FILES ${KV_QTBASE_ZH} DESTINATION translations)
install(FILES package/copyright DESTINATION . RENAME copyright.txt)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME kv4820-tool)
set(CPACK_PACKAGE_VENDOR "kv4820-tool project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Commissioning tool for the KV4820-7 temperature and humidity module")
set(CPACK_PACKAGE_FILE_NAME kv4820-tool-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY kv4820-tool)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY kv4820-tool)
set(CPACK_STRIP_FILES ON)
# The Start-menu entry: the program and the name the Debian menu entry has.
set(CPACK_PACKAGE_EXECUTABLES kv4820-tool "KV4820-7 Modbus Tool")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry, and it runs where only
# 64-bit programs do (Wine without its 32-bit half).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME "KV4820-7 Modbus Tool")
set(CPACK_NSIS_PACKAGE_NAME "KV4820-7 Modbus Tool")
set(CPACK_NSIS_INSTALLED_ICON_NAME kv4820-tool.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/app/icons/kv4820-tool.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/app/icons/kv4820-tool.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
include(CPack)
