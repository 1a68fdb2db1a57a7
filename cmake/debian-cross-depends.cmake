# Run by cpack (CPACK_PROJECT_CONFIG_FILE) for the .deb of a cross build:
# the Depends of korvel's package for the target. On this machine the cross
# libraries belong to packages such as libc6-arm64-cross, whose shlibs name
# the target's packages with their architecture (libc6:arm64 (>= 2.36));
# dpkg-shlibdeps, given their folder, reads those. The package names the
# target's packages plainly: libc6 (>= 2.36), libgcc-s1 (>= 3.0), ...
if(CPACK_GENERATOR STREQUAL "DEB")
  set(work ${CPACK_PACKAGE_DIRECTORY}/shlibdeps)
  file(REMOVE_RECURSE ${work})
  file(WRITE ${work}/debian/control "")
  execute_process(COMMAND dpkg-shlibdeps -O -l${CPACK_KORVEL_CROSS_LIBRARIES} ${CPACK_KORVEL_BINARY}
                  WORKING_DIRECTORY ${work} RESULT_VARIABLE failed OUTPUT_VARIABLE found ERROR_VARIABLE why)
  file(REMOVE_RECURSE ${work})
  if(failed OR NOT found MATCHES "^shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps on ${CPACK_KORVEL_BINARY}: ${why}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=|\n$" "" found "${found}")
  string(REPLACE ":${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}" "" found "${found}")
  string(REPLACE "-${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}-cross" "" found "${found}")
  set(CPACK_DEBIAN_KORVEL_PACKAGE_DEPENDS "${found}")
endif()
