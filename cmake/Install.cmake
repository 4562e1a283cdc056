# Where `cmake --install` puts the program for a Linux desktop, and the
# Debian package made from the same rules (`cpack -G DEB`).
include(GNUInstallDirs)

set(CAUSTICA_APP_ID org.caustica.Caustica)
set(CAUSTICA_HOMEPAGE_URL "https://github.com/caustica/caustica" CACHE STRING
  "The project's home page, named in the AppStream metainfo")
set(CAUSTICA_SCREENSHOT_URL "https://raw.githubusercontent.com/caustica/caustica/main/docs/screenshots"
  CACHE STRING "Where the metainfo's screenshots (docs/screenshots) are published")
set(caustica_data ${CMAKE_INSTALL_DATADIR}/caustica)
set(caustica_desktop ${PROJECT_SOURCE_DIR}/resources/desktop)

install(TARGETS caustica-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET caustica)
  install(TARGETS caustica RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Found by the program relative to its executable (<bin>/../share/caustica).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/help/ DESTINATION ${caustica_data}/help)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/samples/ DESTINATION ${caustica_data}/samples)

install(FILES ${caustica_desktop}/${CAUSTICA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${caustica_desktop}/icons/${size}x${size}/${CAUSTICA_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/caustica.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${CAUSTICA_APP_ID}.svg)
configure_file(${caustica_desktop}/${CAUSTICA_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${CAUSTICA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${CAUSTICA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${caustica_desktop}/caustica-batch.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME caustica-batch)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/caustica RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/caustica)

# The manual page of caustica-batch, made from its --help when help2man is
# there (scripts/install-deps.sh installs it).
find_program(CAUSTICA_HELP2MAN help2man)
if(CAUSTICA_HELP2MAN)
  set(man_include ${PROJECT_BINARY_DIR}/caustica-batch.h2m)
  set(man_page ${PROJECT_BINARY_DIR}/caustica-batch.1)
  add_custom_command(
    OUTPUT ${man_page} ${man_page}.gz
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:caustica-batch> -DOUT=${man_include}
            -P ${PROJECT_SOURCE_DIR}/cmake/ManPageSections.cmake
    COMMAND ${CAUSTICA_HELP2MAN} --no-info --section=1 --include=${man_include}
            "--name=reconstruct telescope wavefronts from defocused star images"
            --source=Caustica --manual="Caustica manual" --output=${man_page} $<TARGET_FILE:caustica-batch>
    COMMAND gzip -9nkf ${man_page}
    DEPENDS caustica-batch ${PROJECT_SOURCE_DIR}/cmake/ManPageSections.cmake
    COMMENT "Writing the manual page of caustica-batch"
    VERBATIM)
  add_custom_target(caustica_batch_man ALL DEPENDS ${man_page})
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual page for caustica-batch")
endif()

# The Debian package: its library dependencies found by dpkg-shlibdeps, plus
# what the program loads at run time (the SVG icon plugin).
set(CPACK_PACKAGE_NAME caustica)
set(CPACK_PACKAGE_VENDOR Caustica)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test telescope optics by curvature sensing")
set(CPACK_PACKAGE_DESCRIPTION
  "Caustica reconstructs the wavefront error of a telescope from two defocused star images, fits
Zernike polynomials and derives interferograms, Foucaultgrams, point spread functions, a spot
diagram, Seidel figures and an HTML report. It comes with the caustica-batch command-line tool.")
set(CPACK_PACKAGE_CONTACT "Caustica developers <caustica@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CAUSTICA_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
include(CPack)
