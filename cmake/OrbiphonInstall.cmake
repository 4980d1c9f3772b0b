# Install rules. The program finds its help file and Orbiphon.ini beside its own executable
# (symbolic links resolved), so both programs live in one private folder with the help file and
# a link to the settings file, and /usr/bin holds links to them:
#
#   <prefix>/lib/orbiphon/Orbiphon, orbiphon-cli, orbiphon-probe, Orbiphon.html
#   <prefix>/lib/orbiphon/Orbiphon.ini -> <sysconfdir>/orbiphon/Orbiphon.ini
#   <prefix>/bin/Orbiphon -> ../lib/orbiphon/Orbiphon (and orbiphon-cli)
#
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for a system installation: GNUInstallDirs then puts
# the settings file in /etc.
include(GNUInstallDirs)

set(ORBIPHON_INSTALL_PROGRAMDIR "lib/orbiphon" CACHE STRING
    "Folder, relative to the prefix, of the executables, their help file and settings link")

# Full paths, as the installed system sees them; the man pages and the package scripts name them.
# They follow the prefix at every configuration (/usr gives /etc/orbiphon, /usr/local
# /usr/local/etc/orbiphon).
set(ORBIPHON_FULL_PROGRAMDIR "${CMAKE_INSTALL_PREFIX}/${ORBIPHON_INSTALL_PROGRAMDIR}")
set(ORBIPHON_FULL_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}")
set(ORBIPHON_FULL_CONFIGDIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/orbiphon")
set(ORBIPHON_FULL_HELPFILE "${ORBIPHON_FULL_PROGRAMDIR}/Orbiphon.html")
string(TIMESTAMP ORBIPHON_MAN_DATE "%Y-%m-%d" UTC)

set(orbiphon_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(orbiphon_staging ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS Orbiphon orbiphon-cli orbiphon-probe
        RUNTIME DESTINATION ${ORBIPHON_INSTALL_PROGRAMDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/Orbiphon.html
        DESTINATION ${ORBIPHON_INSTALL_PROGRAMDIR})

# The links are made in the build tree and installed as links.
file(RELATIVE_PATH orbiphon_bin_to_programs ${ORBIPHON_FULL_BINDIR} ${ORBIPHON_FULL_PROGRAMDIR})
file(MAKE_DIRECTORY ${orbiphon_staging}/bin ${orbiphon_staging}/programs)
foreach(program Orbiphon orbiphon-cli)
  file(CREATE_LINK ${orbiphon_bin_to_programs}/${program} ${orbiphon_staging}/bin/${program}
       SYMBOLIC)
  install(FILES ${orbiphon_staging}/bin/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
file(CREATE_LINK ${ORBIPHON_FULL_CONFIGDIR}/Orbiphon.ini ${orbiphon_staging}/programs/Orbiphon.ini
     SYMBOLIC)
install(FILES ${orbiphon_staging}/programs/Orbiphon.ini DESTINATION ${ORBIPHON_INSTALL_PROGRAMDIR})
install(FILES ${orbiphon_packaging}/Orbiphon.ini DESTINATION ${ORBIPHON_FULL_CONFIGDIR})

# Desktop integration for every user; each start of the program still writes the per-user
# association of the README, which takes precedence for that user.
configure_file(${orbiphon_packaging}/Orbiphon.desktop.in ${orbiphon_staging}/Orbiphon.desktop
               @ONLY)
install(FILES ${orbiphon_staging}/Orbiphon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${orbiphon_packaging}/orbiphon-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME orbiphon.xml)
foreach(size 16 32 48 128)
  set(icons ${PROJECT_SOURCE_DIR}/resources/icons)
  set(dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size})
  install(FILES ${icons}/application-${size}.png DESTINATION ${dir}/apps RENAME Orbiphon.png)
  install(FILES ${icons}/addressbook-document-${size}.png DESTINATION ${dir}/mimetypes
          RENAME application-x-cpe-addressbook.png)
  install(FILES ${icons}/gatewaylist-document-${size}.png DESTINATION ${dir}/mimetypes
          RENAME application-x-cpe-orbiphonlist.png)
endforeach()

# Man pages, with the version and the installed paths filled in, compressed as Debian wants.
find_program(ORBIPHON_GZIP gzip REQUIRED)
set(orbiphon_manpages "")
foreach(page Orbiphon.1 orbiphon-cli.1)
  configure_file(${orbiphon_packaging}/man/${page}.in ${orbiphon_staging}/man/${page} @ONLY)
  add_custom_command(
    OUTPUT ${orbiphon_staging}/man/${page}.gz
    COMMAND ${ORBIPHON_GZIP} -9 -n -c ${orbiphon_staging}/man/${page}
            > ${orbiphon_staging}/man/${page}.gz
    DEPENDS ${orbiphon_staging}/man/${page}
    COMMENT "Compressing the man page ${page}")
  list(APPEND orbiphon_manpages ${orbiphon_staging}/man/${page}.gz)
endforeach()
add_custom_target(orbiphon_manpages ALL DEPENDS ${orbiphon_manpages})
install(FILES ${orbiphon_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
