# What a user gets: the two programs, a menu entry and its icon; `cpack` makes a Debian package of it.
install(TARGETS kv4820-tool kv4820-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/kv4820-tool.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${KV_ICON_SIZES})
    install(FILES app/icons/kv4820-tool-${size}.png RENAME kv4820-tool.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv4820-tool)
set(CPACK_PACKAGE_VENDOR "kv4820-tool project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Commissioning tool for the KV4820-7 temperature and humidity module")
set(CPACK_PACKAGE_DESCRIPTION "Reads a KV4820-7 temperature and humidity acquisition module over a serial \
line with Modbus RTU: single reads or polling, frames shown as hex, the ten measured values, and the \
module's bus address read or changed. Includes kv4820-sim, a virtual module on a pseudo-terminal.")
# The program compares its own place with the install prefix it was built for: keep the two the same.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kv4820-tool project")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's layout is drawn for a CJK font whose Latin letters are half as wide as a Han character.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-noto-cjk)
include(CPack)
