# What `cpack -G DEB` in a build folder puts into korvan_VERSION_ARCH.deb, and how it is laid out:
# programs in /usr/bin, the engine's shared library privately in /usr/lib/korvan (found through the
# programs' RPATH), the sample model in /usr/share/korvan/models, a man page per command-line tool,
# the desktop entry and its icon.

include(GNUInstallDirs)

set(KORVAN_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/korvan)
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${KORVAN_PRIVATE_LIBDIR}")

# Everything the package holds, so that scripts/package.sh builds that much and no more. Whatever is
# installed joins it with korvan_installed(TARGET...).
add_custom_target(korvan_package_contents)
function(korvan_installed)
  add_dependencies(korvan_package_contents ${ARGN})
endfunction()

# korvan_install_tool(TARGET): installs a command-line tool with the man page beside its sources,
# TARGET.1 in the folder that calls this.
function(korvan_install_tool target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${CMAKE_CURRENT_SOURCE_DIR}/${target}.1)
  if(NOT EXISTS ${page})
    message(FATAL_ERROR "${target} has no man page ${page}")
  endif()
  # Debian keeps man pages compressed, without a time stamp so that the package is reproducible.
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${target}.1.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9 -n -c ${page} > ${compressed}
    DEPENDS ${page}
    VERBATIM)
  add_custom_target(${target}_man_page ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  korvan_installed(${target} ${target}_man_page)
endfunction()

set(CPACK_PACKAGE_NAME korvan)
set(CPACK_PACKAGE_VENDOR Veltra)
set(CPACK_PACKAGE_CONTACT "Veltra Korvan team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "commissioning and test tool for IEC 61850 substation devices")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Korvan connects to an IEC 61850 device (MMS over ISO-on-TCP), browses its data model, reads and\n\
polls values, enables report control blocks and operates controls. The package also holds iedsim,\n\
a simulator serving the model of an SCL file, ieddump, a command-line dump of a device's model and\n\
values, and a sample bay controller model.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt, pugixml, the C++ runtime) become the package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/iec61850)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
