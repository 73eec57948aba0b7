# The desktop installation: the program, its desktop entry and icon (so that it shows in the
# desktop's launcher), its AppStream metainfo (so that software centres list it), its manual
# page, license and changelog, and the compiled translations; and a Debian package of the same
# (`cpack -G DEB` in the build folder). The paths written into the program (its locale
# folder) and into the desktop entry (Exec) are those of CMAKE_INSTALL_PREFIX as configured,
# so a package is built from a build configured with the prefix it installs to.
include(GNUInstallDirs)

find_program(TESSRA_MSGFMT msgfmt REQUIRED)
find_program(TESSRA_XGETTEXT xgettext)
find_program(TESSRA_GZIP gzip REQUIRED)

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
  # xgettext tells the languages apart by the files' names: C++, and AppStream's rules for
  # the metainfo. Relative paths, so that the template names no one's checkout.
  file(GLOB tessra_translated_sources RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/BuiltInInterface/*.cc)
  add_custom_target(tessra_pot
    COMMAND ${TESSRA_XGETTEXT} --from-code=UTF-8 --keyword=tr --keyword=trn:1,2
            --package-name=tessra --package-version=${PROJECT_VERSION} --msgid-bugs-address=
            --sort-by-file --add-comments=TRANSLATORS: -o po/tessra.pot ${tessra_translated_sources}
            data/com.brovak.tessra.metainfo.xml
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

# The newest release in the metainfo and the changelog is the one being built.
set(tessra_metainfo_source ${CMAKE_SOURCE_DIR}/data/com.brovak.tessra.metainfo.xml)
set(tessra_changelog_source ${CMAKE_SOURCE_DIR}/data/package/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${tessra_metainfo_source} ${tessra_changelog_source} ${CMAKE_SOURCE_DIR}/LICENSE)
file(STRINGS ${tessra_metainfo_source} tessra_release REGEX "<release version=" LIMIT_COUNT 1)
file(STRINGS ${tessra_changelog_source} tessra_changelog_top LIMIT_COUNT 1)
if(NOT tessra_release MATCHES "version=\"${PROJECT_VERSION}\""
   OR NOT tessra_changelog_top MATCHES "^tessra \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "The newest release of ${tessra_metainfo_source} and of ${tessra_changelog_source} "
                      "must be ${PROJECT_VERSION}, the project's version")
endif()

# The AppStream metainfo, with the translations of po/ merged in.
set(tessra_metainfo ${CMAKE_BINARY_DIR}/data/com.brovak.tessra.metainfo.xml)
set(tessra_po_files)
foreach(language IN LISTS TESSRA_LANGUAGES)
  list(APPEND tessra_po_files ${CMAKE_SOURCE_DIR}/po/${language}.po)
endforeach()
add_custom_command(OUTPUT ${tessra_metainfo}
  COMMAND ${TESSRA_MSGFMT} --xml --template ${tessra_metainfo_source} -d ${CMAKE_SOURCE_DIR}/po
          -o ${tessra_metainfo}
  DEPENDS ${tessra_metainfo_source} ${tessra_po_files} ${CMAKE_SOURCE_DIR}/po/LINGUAS
  COMMENT "Translating the AppStream metainfo"
  VERBATIM)
install(FILES ${tessra_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page, and Debian's copyright file (the license of LICENSE in the machine-readable
# format, under Debian's name for it) and changelog. Compressed without a name or time stamp,
# so that the same sources give the same bytes.
configure_file(${CMAKE_SOURCE_DIR}/data/tessra.1.in ${CMAKE_BINARY_DIR}/data/man/tessra.1 @ONLY)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE tessra_license)
string(FIND "${tessra_license}" "Permission is hereby granted" tessra_notice_start)
string(SUBSTRING "${tessra_license}" ${tessra_notice_start} -1 TESSRA_LICENSE_NOTICE)
string(STRIP "${TESSRA_LICENSE_NOTICE}" TESSRA_LICENSE_NOTICE)
string(REPLACE "\n\n" "\n.\n" TESSRA_LICENSE_NOTICE "${TESSRA_LICENSE_NOTICE}")
string(REPLACE "\n" "\n " TESSRA_LICENSE_NOTICE " ${TESSRA_LICENSE_NOTICE}")
configure_file(${CMAKE_SOURCE_DIR}/data/package/copyright.in ${CMAKE_BINARY_DIR}/data/doc/copyright @ONLY)
configure_file(${tessra_changelog_source} ${CMAKE_BINARY_DIR}/data/doc/changelog COPYONLY)
set(tessra_compressed ${CMAKE_BINARY_DIR}/data/man/tessra.1.gz ${CMAKE_BINARY_DIR}/data/doc/changelog.gz)
foreach(compressed IN LISTS tessra_compressed)
  string(REGEX REPLACE "\\.gz$" "" plain ${compressed})
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${TESSRA_GZIP} -9 --no-name --force --keep ${plain}
    DEPENDS ${plain}
    VERBATIM)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/data/man/tessra.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/data/doc/copyright ${CMAKE_BINARY_DIR}/data/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(tessra_data ALL DEPENDS ${tessra_metainfo} ${tessra_compressed})

# What software centres read must be valid AppStream, translations included. The package as
# a whole is checked by lintian in .ci/run, after cpack.
if(TESSRA_BUILD_TESTS)
  add_test(NAME metainfo_validate COMMAND appstreamcli validate --no-net --pedantic ${tessra_metainfo})
  set_tests_properties(metainfo_validate PROPERTIES LABELS unit)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find the devices that answer on the local network")
# The extended description, wrapped as Debian wants it (lines under 80 characters).
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_SOURCE_DIR}/data/package/description)
set(CPACK_PACKAGE_CONTACT "tessra developers <tessra@brovak.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Debian ships programs stripped; the symbols are of no use to the package's users.
set(CPACK_STRIP_FILES ON)
# Libraries from what the program links; the ping utility that the sweep runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iputils-ping")
include(CPack)
