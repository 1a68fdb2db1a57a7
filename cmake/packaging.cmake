# What "cmake --install" puts where, and the packages CPack makes of it:
#   Linux:   korvel_<version>_<arch>.deb (component korvel: the programmer,
#            its README and man page); h8board installs as its own
#            component (cmake --install build --component h8board), not
#            packaged.
#   Windows: korvel-<version>-win64.zip with the static korvel.exe and the
#            README side by side.
include(GNUInstallDirs)

# Installing and packaging take what is built; they build nothing more (the
# virtual board does not build for Windows, and the tests need no package).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
  install(TARGETS korvel RUNTIME DESTINATION . COMPONENT korvel)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT korvel)
else()
  install(TARGETS korvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT korvel)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT korvel)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/korvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT korvel)
  if(TARGET h8board)
    install(TARGETS h8board RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT h8board)
  endif()
endif()

set(CPACK_PACKAGE_NAME korvel)
set(CPACK_PACKAGE_VENDOR "KORVEL")
set(CPACK_PACKAGE_CONTACT "KORVEL developers <korvel@korvel.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serial flash programmer for the Hitachi H8/3048F in boot mode")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://korvel.dev/")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL korvel)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_KORVEL_PACKAGE_NAME korvel)
  set(CPACK_DEBIAN_KORVEL_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # The C and C++ runtime, as dpkg-shlibdeps finds them in the binary.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
