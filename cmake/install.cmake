# SPDX-License-Identifier: GPL-3.0-or-later
# What an installation adds beside the two programs (their install rules
# live next to the targets), and the Debian package made from it with
# `cpack` in the build folder.
include(GNUInstallDirs)

set(QUARVEL_APP_ID io.github.quarvel.Quarvel)

install(FILES ${PROJECT_SOURCE_DIR}/data/${QUARVEL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUARVEL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUARVEL_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/data/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian wants the manual pages and the changelog compressed with
# `gzip -9n`: the best compression, and no name or time stamp inside, so
# that the same sources give the same package.
find_program(QUARVEL_GZIP gzip REQUIRED)
set(compressed_dir ${PROJECT_BINARY_DIR}/compressed)
set(compressed_files "")
foreach(source IN ITEMS quarvel.1 quarvel-cli.1 changelog)
  add_custom_command(
    OUTPUT ${compressed_dir}/${source}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
    COMMAND ${QUARVEL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/data/${source} > ${compressed_dir}/${source}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${source}
    COMMENT "Compressing data/${source}"
    VERBATIM)
  list(APPEND compressed_files ${compressed_dir}/${source}.gz)
endforeach()
add_custom_target(quarvel_compressed_data ALL DEPENDS ${compressed_files})
install(FILES ${compressed_dir}/quarvel.1.gz ${compressed_dir}/quarvel-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${compressed_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The package's version comes from the project; its changelog must begin
# with the same one, or the package would describe another release.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/changelog changelog_head LIMIT_COUNT 1)
string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
if(NOT changelog_head MATCHES "^quarvel \\(${version_pattern}\\) ")
  message(FATAL_ERROR "data/changelog begins with '${changelog_head}', "
                      "not with an entry for version ${PROJECT_VERSION}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quarvel developers <quarvel@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LCR meter on an ordinary stereo sound card")
# The install rules' relative destinations land under /usr in the package,
# whatever CMAKE_INSTALL_PREFIX says.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package carries the programs without their debugging information.
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps finds the libraries the binaries link (Qt, PortAudio,
# ALSA, FFTW); Depends names only what they load or use at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# Lines without leading blanks: CPack indents them and turns the empty
# line into a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Quarvel measures the complex impedance of resistors, capacitors and
inductors with a stereo sound card and a small adapter: it plays a test
tone through a divider of a reference resistor and the device, reads both
inputs and shows one of fourteen pairs of quantities (|Z| and phase, Rs
and Cs, Q and L, ...) at eight frequencies from 100 Hz to 20 kHz.

It offers calibration, a frequency sweep with an equivalent-circuit fit,
a comparator for sorting parts, a simulated set-up for trying it without
hardware, the window quarvel and the command-line meter quarvel-cli.")

include(CPack)
