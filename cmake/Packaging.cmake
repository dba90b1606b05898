# The Debian package. Library dependencies are read from the program itself by dpkg-shlibdeps, so
# they follow whatever Qt the package was built against; only what the program loads at run time
# without linking it is named here.
set(CPACK_PACKAGE_NAME tilora)
set(CPACK_PACKAGE_VENDOR "Tilora developers")
set(CPACK_PACKAGE_CONTACT "Tilora developers <tilora-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture jigsaw with shuffled, mirrored pieces")
set(CPACK_PACKAGE_DESCRIPTION
  "Tilora cuts a JPEG or BMP picture into a grid of four to nine pieces\n\
per side, deals them into a tray in a random order and mirrors each one.\n\
The player carries every piece to its own cell and mirrors it back with\n\
the mouse buttons; a piece dropped on the wrong cell ends the game.\n\
The user interface is in Romanian.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tilora)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# A plain strip leaves the compilers' ident strings and the old-style notes; Debian's own packages
# drop them too (the build id stays, it has a section of its own).
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TILORA_INSTALL_GAMESDIR}/tilora\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 platform plugin from libqt6gui6, reached through the linked libraries. The sounds
# play through QSoundEffect, which reads the WAV files itself and hands them to the desktop's sound
# server through libpulse, a dependency of libqt6multimedia6: no GStreamer plugin takes part (the
# installed tree's check loads both sounds with none in reach). A desktop plays them through its
# PipeWire or PulseAudio server, recommended for a system that has neither. A Wayland session works
# through XWayland without more; the native plugin is a nicety.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
