# What a user gets: the three programs, a menu entry and its icon, their manual pages, the copyright and the
# changelog; `cpack` makes a Debian package of it.
install(TARGETS kv4820-tool kv4820 kv4820-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/kv4820-tool.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${KV_ICON_SIZES})
    install(FILES app/icons/kv4820-tool-${size}.png RENAME kv4820-tool.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

set(kv_maintainer "kv4820-tool project <kv4820-tool@example.org>")

if(UNIX)
    # A version without its changelog entry would ship a changelog that does not describe the package.
    file(STRINGS package/changelog kv_changelog_top LIMIT_COUNT 1)
    if(NOT kv_changelog_top MATCHES "^kv4820-tool \\(${PROJECT_VERSION}\\) ")
        message(FATAL_ERROR "package/changelog does not begin with version ${PROJECT_VERSION}: ${kv_changelog_top}")
    endif()

    # Debian wants these compressed without the name and time in the header, so a rebuild gives the same bytes.
    find_program(KV_GZIP gzip REQUIRED)
    set(kv_gzipped)
    foreach(file changelog kv4820-tool.1 kv4820.1 kv4820-sim.1)
        set(out ${CMAKE_CURRENT_BINARY_DIR}/package/${file})
        add_custom_command(OUTPUT ${out}.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/package/${file} ${out}
            COMMAND ${KV_GZIP} -9nf ${out}
            DEPENDS package/${file} VERBATIM)
        list(APPEND kv_gzipped ${out}.gz)
    endforeach()
    add_custom_target(kv4820-docs ALL DEPENDS ${kv_gzipped})
    list(FILTER kv_gzipped INCLUDE REGEX "\\.1\\.gz$")
    install(FILES ${kv_gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES package/copyright ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kv4820-tool)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv4820-tool)
set(CPACK_PACKAGE_VENDOR "kv4820-tool project")
set(CPACK_PACKAGE_CONTACT ${kv_maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Commissioning tool for the KV4820-7 temperature and humidity module")
# Wrapped in the file as the package's long description is shown: under 80 columns. Read here, as CPack
# would escape its apostrophes for XML when it reads the file itself.
file(READ package/description CPACK_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS package/description package/changelog)
# The program compares its own place with the install prefix it was built for: keep the two the same.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${kv_maintainer})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's layout is drawn for a CJK font whose Latin letters are half as wide as a Han character.
# Qt's own texts (message box buttons, file dialogs) come in Chinese from qt6-translations-l10n.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
