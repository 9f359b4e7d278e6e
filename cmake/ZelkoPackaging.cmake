# Documents, desktop entries and the Debian packages: libzelko3 (the libraries), libzelko-dev
# (headers, CMake and pkg-config files) and zelko-tools (the programs).
install(FILES LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES docs/man/zelko.1 docs/man/btrcheck.1 docs/man/btrimport.1 docs/man/btrcopy.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
if(ZELKO_BUILD_GUI)
  install(FILES docs/man/zelkoform.1 docs/man/dictedit.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES packaging/zelkoform.desktop packaging/dictedit.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tools)
  install(FILES packaging/zelkoform.svg packaging/dictedit.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT tools)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelko)
set(CPACK_PACKAGE_VENDOR "The Zelko developers")
set(CPACK_PACKAGE_CONTACT "The Zelko developers <zelko@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Field-level access to Btrieve record files described by a data dictionary")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzelko3)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libzelko-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zelko-tools)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
# The record manager loads the PostgreSQL client only for files kept on a server.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS libpq5)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
# Our own libraries are found in the package being built, not on the system.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/btrieve
  ${PROJECT_BINARY_DIR}/dictio ${PROJECT_BINARY_DIR}/zelkoctl)
include(CPack)
