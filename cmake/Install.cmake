# The desktop installation: the program, its desktop entry and icon (so that it shows in the
# desktop's launcher), and the compiled translations; and a Debian package of the same
# (`cpack -G DEB` in the build folder). The paths written into the program (its locale
# folder) and into the desktop entry (Exec) are those of CMAKE_INSTALL_PREFIX as configured,
# so a package is built from a build configured with the prefix it installs to.
include(GNUInstallDirs)

find_program(TESSRA_MSGFMT msgfmt REQUIRED)
find_program(TESSRA_XGETTEXT xgettext)

# Translations: po/<language>.po for each language in po/LINGUAS, compiled at build time into
# the build tree's locale/<language>/LC_MESSAGES/tessra.mo and installed where the program
# looks (TESSRA_LOCALE_DIR).
file(STRINGS ${CMAKE_SOURCE_DIR}/po/LINGUAS TESSRA_LANGUAGES REGEX "^[^#]")
set(TESSRA_BUILD_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
set(tessra_mo_files)
foreach(language IN LISTS TESSRA_LANGUAGES)
  set(mo ${TESSRA_BUILD_LOCALE_DIR}/${language}/LC_MESSAGES/tessra.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TESSRA_BUILD_LOCALE_DIR}/${language}/LC_MESSAGES
    COMMAND ${TESSRA_MSGFMT} --check -o ${mo} ${CMAKE_SOURCE_DIR}/po/${language}.po
    DEPENDS ${CMAKE_SOURCE_DIR}/po/${language}.po
    COMMENT "Compiling the ${language} translation"
    VERBATIM)
  list(APPEND tessra_mo_files ${mo})
  install(FILES ${mo} DESTINATION share/locale/${language}/LC_MESSAGES)
endforeach()
add_custom_target(tessra_translations ALL DEPENDS ${tessra_mo_files})

# `cmake --build . --target tessra_pot` refreshes the template after texts change.
if(TESSRA_XGETTEXT)
  file(GLOB tessra_translated_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/BuiltInInterface/*.cc)
  add_custom_target(tessra_pot
    COMMAND ${TESSRA_XGETTEXT} --from-code=UTF-8 --language=C++ --keyword=tr --keyword=trn:1,2
            --package-name=tessra --package-version=${PROJECT_VERSION} --msgid-bugs-address=
            --sort-by-file --add-comments=TRANSLATORS: -o po/tessra.pot ${tessra_translated_sources}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    VERBATIM)
endif()

# The desktop entry names the installed program, and the window class GTK gives its windows
# (the program's name).
set(TESSRA_INSTALLED_BINARY ${CMAKE_INSTALL_FULL_BINDIR}/tessra)
set(TESSRA_WM_CLASS tessra)
configure_file(${CMAKE_SOURCE_DIR}/data/com.brovak.tessra.desktop.in
               ${CMAKE_BINARY_DIR}/data/${TESSRA_APPLICATION_ID}.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/${TESSRA_APPLICATION_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/com.brovak.tessra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TESSRA_APPLICATION_ID}.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find the devices that answer on the local network")
set(CPACK_PACKAGE_CONTACT "tessra developers <tessra@brovak.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Libraries from what the program links; the ping utility that the sweep runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iputils-ping")
include(CPack)
