# Installation and the Debian package: everything a distribution expects beside the two
# programs (whose own install() rules stay with their targets). Included when the desktop
# program is built. The application id is used for the desktop entry, the icon and the
# metainfo alike.
include(GNUInstallDirs)

set(TELLAMO_APP_ID io.github.tellamo.Tellamo)
set(_data ${PROJECT_SOURCE_DIR}/data)
set(_generated ${PROJECT_BINARY_DIR}/install-data)
file(MAKE_DIRECTORY ${_generated})

install(FILES ${_data}/${TELLAMO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_data}/packaging/${TELLAMO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: the SVG as the scalable one, and PNGs drawn from it at build time for the sizes
# that desktops without an SVG loader look up.
install(FILES ${_data}/icons/tellamo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TELLAMO_APP_ID}.svg)
find_program(TELLAMO_RSVG_CONVERT rsvg-convert)
if(TELLAMO_RSVG_CONVERT)
  set(_pngs)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${_generated}/icon-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${TELLAMO_RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
              ${_data}/icons/tellamo.svg
      DEPENDS ${_data}/icons/tellamo.svg VERBATIM)
    list(APPEND _pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${TELLAMO_APP_ID}.png)
  endforeach()
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: only the scalable icon "
                  "is installed")
endif()

# Man pages, compressed as Debian installs them.
find_program(TELLAMO_GZIP gzip REQUIRED)
set(_manpages)
foreach(page tellamo.1 tellamo-convert.1 tellamo-transcribe.1 tellamo-find.1)
  set(gz ${_generated}/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${TELLAMO_GZIP} -9nc ${_data}/packaging/${page} > ${gz}
    DEPENDS ${_data}/packaging/${page} VERBATIM)
  list(APPEND _manpages ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The user manual and the translations: every file that exists of these lists is installed, so
# that adding a manual page or a translation file only means adding it here.
set(TELLAMO_MANUAL_FILES ${_data}/tellamo.html CACHE INTERNAL "")
set(TELLAMO_TRANSLATION_FILES "" CACHE INTERNAL "")
foreach(file ${TELLAMO_MANUAL_FILES})
  if(EXISTS ${file})
    install(FILES ${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/tellamo)
  endif()
endforeach()
foreach(file ${TELLAMO_TRANSLATION_FILES})
  install(FILES ${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/tellamo/translations)
endforeach()

# The package's own documents: the copyright statement and the changelog a native Debian
# package carries.
string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(TELLAMO_PACKAGE_MAINTAINER "The Tellamo developers <tellamo@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package")
file(WRITE ${_generated}/changelog
     "tellamo (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${TELLAMO_PACKAGE_MAINTAINER}  ${_date}\n")
add_custom_command(OUTPUT ${_generated}/changelog.gz
  COMMAND ${TELLAMO_GZIP} -9nc ${_generated}/changelog > ${_generated}/changelog.gz
  DEPENDS ${_generated}/changelog VERBATIM)
install(FILES ${_generated}/changelog.gz ${_data}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tellamo)

add_custom_target(tellamo_install_data ALL
  DEPENDS ${_pngs} ${_manpages} ${_generated}/changelog.gz)

# The Debian package: cpack -G DEB in the build folder (scripts/build-deb does it all).
set(CPACK_PACKAGE_NAME tellamo)
set(CPACK_PACKAGE_VENDOR "The Tellamo developers")
set(CPACK_PACKAGE_CONTACT "${TELLAMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TELLAMO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tellamo.github.io/")
# Qt draws the icons from SVG and needs a platform plugin, which the shared-library scan does
# not see.
# The speech model is data, which the scan cannot see either; without it notes are simply not
# transcribed, but the package promises transcripts. Qt's own translations (the standard buttons,
# the file dialogs) are data too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins, pocketsphinx-en-us, qt6-translations-l10n")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "voice-note recorder with a catalogue")
# The synopsis is the summary above; CPack indents these lines and writes empty ones as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tellamo is a dictaphone for the desktop: it records spoken notes from the
sound card, also through system-wide hotkeys while another program has the
focus, and leaves out silent stretches if asked.

Notes are filed in a tree of folders with a Recycle Bin, found again in a
sortable, filterable list, played back with a position slider, and shown
with their level graph. They can be saved as WAV files, as recorded or
compressed with the TrueSpeech speech codec, or attached to an e-mail.

Every note is transcribed on the computer itself (English, with CMU
PocketSphinx), so that notes can be found by the words spoken in them.

The package also holds tellamo-convert, which compresses a note from a
script, tellamo-transcribe, which prints the transcript of any WAV file,
and tellamo-find, which lists the notes in which given words were said.")
include(CPack)
