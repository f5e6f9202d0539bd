# Installing the three programs like a desktop program, and the packages CPack makes of them.
include(GNUInstallDirs)

set(KORVANE_PROGRAMS korvane-config korvane-cli)
if(TARGET korvane-sim)
  list(APPEND KORVANE_PROGRAMS korvane-sim)
endif()
install(TARGETS ${KORVANE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES packaging/korvane-config.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/korvane-config.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(packaging/korvane-config.metainfo.xml.in
  ${CMAKE_CURRENT_BINARY_DIR}/org.korvane.config.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/org.korvane.config.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/korvane-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME korvane-cli)

# The web page, when the build is told where a built one is (scripts/web.sh leaves it in
# build-web/page): the desktop build itself never needs Emscripten.
set(KORVANE_WEB_PAGE "" CACHE PATH "A built web page for the package to carry (build-web/page)")
if(KORVANE_WEB_PAGE)
  install(DIRECTORY ${KORVANE_WEB_PAGE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane/web)
endif()

# Man pages made from each program's --help, so they never disagree with it, and the sections
# --help has no room for (exit status, examples, files) from packaging/PROGRAM.h2m. Compressed as
# Debian's policy asks: gzip -9 without the name and time, so that a rebuild makes the same bytes.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP AND UNIX)
  set(korvane-config_SUMMARY "the Korvane motor controller's settings and firmware, in a window")
  set(korvane-cli_SUMMARY "the Korvane motor controller from a terminal")
  set(korvane-sim_SUMMARY "the simulated Korvane controller on a pseudo-terminal")
  set(KORVANE_MAN_PAGES)
  foreach(program ${KORVANE_PROGRAMS})
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
    set(sections ${PROJECT_SOURCE_DIR}/packaging/${program}.h2m)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        ${HELP2MAN} --no-info --no-discard-stderr "--name=${${program}_SUMMARY}"
        --include=${sections} --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${page}
      DEPENDS ${program} ${sections} VERBATIM)
    list(APPEND KORVANE_MAN_PAGES ${page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${KORVANE_MAN_PAGES})
  install(FILES ${KORVANE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# What Debian's policy asks of every package besides: /usr/share/doc/korvane/copyright in the
# machine-readable format, its terms taken from LICENSE so they are written once, and the
# changelog, compressed as the man pages are.
if(GZIP AND UNIX AND NOT APPLE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" holder "${license}")
  set(KORVANE_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^.*Copyright [^\n]*\n" "" terms "${license}")
  string(STRIP "${terms}" terms)
  # A description in a control file: each line indented by one space, an empty line as " .".
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " KORVANE_LICENSE_TERMS " ${terms}")
  configure_file(packaging/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/doc/copyright @ONLY)

  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog)
  add_custom_command(OUTPUT ${changelog}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog}
    COMMAND ${GZIP} -9nf ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(changelog ALL DEPENDS ${changelog}.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/copyright ${changelog}.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "The Korvane developers")
set(CPACK_PACKAGE_CONTACT "The Korvane developers <dev@korvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Configure the Korvane motor controller and replace its firmware")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Korvane")
set(CPACK_STRIP_FILES ON)

# Debian: the Qt runtime dependencies are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bash finds the completion in its folder only through the bash-completion package; the script
# itself needs nothing of it (it can be sourced by hand).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvane.org")
set(CPACK_PACKAGE_DESCRIPTION
  "korvane-config (a window) and korvane-cli (a command line, also for production
lines flashing many controllers at once) find the controller among the serial
ports, change its automatic mode, configuration and speed limit, keep its
settings in a file, and replace its firmware from an Intel HEX file.
korvane-sim serves a simulated controller on a pseudo-terminal.

The controller is a USB serial device: to open it, the user must be in the
dialout group (sudo usermod -aG dialout $USER, then log in again).")

# Untested: a macOS disk image and a Windows installer, each after the platform's deploy tool
# has copied Qt next to the programs (macdeployqt, windeployqt).
if(APPLE)
  set(CPACK_GENERATOR DragNDrop)
elseif(WIN32)
  set(CPACK_GENERATOR NSIS)
  set(CPACK_NSIS_DISPLAY_NAME "Korvane Configuration")
  set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Korvane Configuration.lnk' '$INSTDIR\\\\bin\\\\korvane-config.exe'")
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
