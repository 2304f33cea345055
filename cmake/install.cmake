# Installing on Linux: the executable, its desktop entry, icon, AppStream
# metainfo and man page, and a Debian package of them built by CPack.
include(GNUInstallDirs)

set(KROVAN_APP_ID cz.krovan.Krovan)
# The package installs below /usr; `cmake --install` below CMAKE_INSTALL_PREFIX.
set(KROVAN_PACKAGE_PREFIX /usr)
set(KROVAN_MAINTAINER "Krovan developers <krovan@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

# The folders the executable is installed in: the program never keeps its
# settings there, not even when run by root.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/ui/settings_place.cpp DIRECTORY ${CMAKE_SOURCE_DIR}/src/ui APPEND PROPERTY
  COMPILE_DEFINITIONS
  "KROVAN_INSTALLED_FOLDERS=\"${CMAKE_INSTALL_FULL_BINDIR}:${KROVAN_PACKAGE_PREFIX}/${CMAKE_INSTALL_BINDIR}\"")

# The man pages and the metainfo name the project's version.
configure_file(data/krovan.1.in ${CMAKE_BINARY_DIR}/krovan.1 @ONLY)
configure_file(data/krovan.ini.5.in ${CMAKE_BINARY_DIR}/krovan.ini.5 @ONLY)
configure_file(data/${KROVAN_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${KROVAN_APP_ID}.metainfo.xml
  @ONLY)

# Man pages are installed compressed, as Debian keeps them.
find_program(GZIP gzip REQUIRED)
foreach(page krovan.1 krovan.ini.5)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${page}.gz
    COMMAND ${GZIP} -9nc ${CMAKE_BINARY_DIR}/${page} > ${CMAKE_BINARY_DIR}/${page}.gz
    DEPENDS ${CMAKE_BINARY_DIR}/${page}
    VERBATIM)
endforeach()
add_custom_target(krovan_man ALL DEPENDS ${CMAKE_BINARY_DIR}/krovan.1.gz
  ${CMAKE_BINARY_DIR}/krovan.ini.5.gz)

install(TARGETS krovan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/${KROVAN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${KROVAN_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/${KROVAN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_BINARY_DIR}/krovan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/krovan.ini.5.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
# The licence, where Debian keeps every package's, and a set-up of each link.
install(FILES data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/krovan)
install(DIRECTORY data/examples DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/krovan)

set(CPACK_PACKAGE_NAME krovan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Krovan developers")
set(CPACK_PACKAGE_CONTACT ${KROVAN_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test console for serial, TCP, UDP and ICMP links")
set(CPACK_PACKAGING_INSTALL_PREFIX ${KROVAN_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KROVAN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The toolkit's Czech texts (file dialogs, standard buttons).
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
set(CPACK_PACKAGE_DESCRIPTION "Krovan is a desktop program with a Czech user interface that opens one
communication link at a time: an RS-232 serial port, a TCP client, a TCP
server, a UDP socket or ICMP echo. It sends prepared data blocks by hand or
periodically, answers received data automatically through filters, and logs
both directions. The set-up is kept in ~/.config/krovan/default.ini.")
set(CPACK_GENERATOR DEB)
include(CPack)

if(KROVAN_TESTS)
  foreach(check entries package run)
    add_test(NAME install_${check}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/install/install_check.sh ${check} ${CMAKE_BINARY_DIR})
    set_tests_properties(install_${check} PROPERTIES TIMEOUT 600)
  endforeach()
endif()
