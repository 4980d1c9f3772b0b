# The Debian package, built by `cpack -G DEB` from the install rules of OrbiphonInstall.cmake.
# scripts/build-package.sh configures a Release build with the prefix /usr and runs it.
set(orbiphon_debian ${PROJECT_SOURCE_DIR}/packaging/debian)
set(orbiphon_debian_staging ${PROJECT_BINARY_DIR}/packaging/debian)
string(TIMESTAMP ORBIPHON_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
set(ORBIPHON_MAINTAINER "Orbiphon Support <support@orbiphon.example>")

# The files Debian wants in every package's documentation folder.
set(orbiphon_docdir ${CMAKE_INSTALL_DATADIR}/doc/orbiphon)
configure_file(${orbiphon_debian}/changelog.in ${orbiphon_debian_staging}/changelog @ONLY)
add_custom_command(
  OUTPUT ${orbiphon_debian_staging}/changelog.gz
  COMMAND ${ORBIPHON_GZIP} -9 -n -c ${orbiphon_debian_staging}/changelog
          > ${orbiphon_debian_staging}/changelog.gz
  DEPENDS ${orbiphon_debian_staging}/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(orbiphon_changelog ALL DEPENDS ${orbiphon_debian_staging}/changelog.gz)
install(FILES ${orbiphon_debian}/copyright ${orbiphon_debian_staging}/changelog.gz
        DESTINATION ${orbiphon_docdir})

# The maintainer script names the installed executables.
configure_file(${orbiphon_debian}/postinst.in ${orbiphon_debian_staging}/postinst @ONLY)
configure_file(${orbiphon_debian}/conffiles.in ${orbiphon_debian_staging}/conffiles @ONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orbiphon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orbiphon)
set(CPACK_PACKAGE_CONTACT ${ORBIPHON_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "address books, gateway lists and firmware of Orbiphon VoIP gateways")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_PACKAGE_NAME orbiphon)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORBIPHON_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is the synopsis line; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orbiphon edits the address books (.cpe) and gateway lists (.obl) of Orbiphon
voice-over-IP gateways, pushes address books and firmware folders to the
gateways over FTP, downloads an address book and probes the gateways by ICMP
echo. The companion orbiphon-cli does the same from scripts.
.
The installation gives the raw-socket capability (cap_net_raw) to the small
probe helper orbiphon-probe alone; the two programs hold no capability.")
# The libraries come from dpkg-shlibdeps; setcap grants the probe's right at installation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${orbiphon_debian_staging}/postinst ${orbiphon_debian_staging}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
