# What "cmake --install" puts where, and the packages CPack makes of it:
#   Linux:   korvel_<version>_<arch>.deb (component korvel: the programmer,
#            its README, man page, copyright and changelog, and the browser
#            page when KORVEL_WEB_BUILD names a WebAssembly build) for amd64, and
#            for arm64 and armhf from the cross builds (the toolchain files
#            cmake/aarch64-linux-gnu.cmake, cmake/arm-linux-gnueabihf.cmake);
#            h8board_<version>_amd64.deb (component h8board: the virtual
#            board and its man page), from a native build only.
#   Windows: korvel-<version>-win64.zip with the static korvel.exe and the
#            README side by side.
# Debian wants the man pages and the changelog compressed (gzip -9n: no name
# or time inside, so every build gives the same bytes); building korvel
# makes them.
include(GNUInstallDirs)

# Installing and packaging take what is built; they build nothing more (the
# virtual board does not build for Windows, and the tests need no package).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
  install(TARGETS korvel RUNTIME DESTINATION . COMPONENT korvel)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT korvel)
else()
  set(docs ${PROJECT_BINARY_DIR}/docs)
  add_custom_command(OUTPUT ${docs}/korvel.1.gz ${docs}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${docs}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/korvel.1 > ${docs}/korvel.1.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${docs}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/korvel.1 ${PROJECT_SOURCE_DIR}/docs/changelog VERBATIM)
  add_custom_target(korvel_docs DEPENDS ${docs}/korvel.1.gz ${docs}/changelog.gz)
  add_dependencies(korvel korvel_docs)

  install(TARGETS korvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT korvel)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/copyright ${docs}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvel COMPONENT korvel)
  install(FILES ${docs}/korvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT korvel)
  # The browser page with korvel-web.js and korvel-web.wasm, when a
  # WebAssembly build is named (-DKORVEL_WEB_BUILD=build-web); they are the
  # same files on every architecture.
  set(KORVEL_WEB_BUILD "" CACHE PATH "A WebAssembly build (emcmake) whose korvel-web goes into the package")
  set(web_built ${KORVEL_WEB_BUILD}/app/korvel-web.js ${KORVEL_WEB_BUILD}/app/korvel-web.wasm)
  if(KORVEL_WEB_BUILD AND NOT (EXISTS ${KORVEL_WEB_BUILD}/app/korvel-web.js AND EXISTS ${KORVEL_WEB_BUILD}/app/korvel-web.wasm))
    # tools/package.sh checks the installed page, so a package cannot go out without it unnoticed.
    message(WARNING "KORVEL_WEB_BUILD: no korvel-web.js and .wasm in ${KORVEL_WEB_BUILD}/app: the package holds no page "
                    "(cmake --build ${KORVEL_WEB_BUILD} --target korvel-web first)")
  elseif(KORVEL_WEB_BUILD)
    install(FILES ${PROJECT_SOURCE_DIR}/web/index.html ${PROJECT_SOURCE_DIR}/web/style.css
                  ${PROJECT_SOURCE_DIR}/web/korvel-page.js ${web_built}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/korvel/web COMPONENT korvel)
  endif()
  if(TARGET h8board_man)
    install(TARGETS h8board RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT h8board)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright ${docs}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/h8board COMPONENT h8board)
    install(FILES ${PROJECT_BINARY_DIR}/sim/h8board.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT h8board)
  endif()
endif()

set(CPACK_PACKAGE_NAME korvel)
set(CPACK_PACKAGE_VENDOR "KORVEL")
set(CPACK_PACKAGE_CONTACT "KORVEL developers <korvel@korvel.dev>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://korvel.dev/")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL korvel)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serial flash programmer for the Hitachi H8/3048F in boot mode")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # Each description's first line is its package's synopsis (CPack would put
  # CPACK_PACKAGE_DESCRIPTION_SUMMARY before both).
  set(CPACK_DEBIAN_KORVEL_PACKAGE_NAME korvel)
  set(CPACK_DEBIAN_KORVEL_DESCRIPTION "Serial flash programmer for the Hitachi H8/3048F in boot mode
korvel writes a Motorola S-record file into the 128 KB flash memory of an
H8/3048F microcontroller (H8/300H core) through the chip's boot mode, over
one serial port at 9600 bit/s: it loads a small write-control program into
the chip's RAM, then sends the file record by record and shows the chip's
answer to each.")
  if(TARGET h8board_man)
    list(APPEND CPACK_COMPONENTS_ALL h8board)
    set(CPACK_DEBIAN_H8BOARD_PACKAGE_NAME h8board)
    set(CPACK_DEBIAN_H8BOARD_PACKAGE_SUGGESTS korvel)
    set(CPACK_DEBIAN_H8BOARD_DESCRIPTION "Virtual H8/3048F board in boot mode on a pseudo-terminal
h8board simulates an H8/3048F microcontroller in boot mode behind a
pseudo-terminal: an H8/300H instruction-set simulator runs the chip's boot
program and the program a host loads, with the serial port SCI1 and the
flash memory. Use it to try korvel, or a build that makes programs for the
chip, without a board; options inject faults of the line, the boot program
and the flash.")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps finds the cross libraries only with their folder given,
    # and names them as the cross packages of this machine do; cpack runs
    # cmake/debian-cross-depends.cmake to give the target's names instead.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KORVEL_DEBIAN_ARCH})
    set(CPACK_KORVEL_CROSS_LIBRARIES ${CMAKE_FIND_ROOT_PATH}/lib)
    set(CPACK_KORVEL_BINARY ${PROJECT_BINARY_DIR}/app/korvel)
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/debian-cross-depends.cmake)
  else()
    # The C and C++ runtime, as dpkg-shlibdeps finds them in the binaries.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
