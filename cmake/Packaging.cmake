# cpack -G DEB: one package with the window, vantrel-cli, the desktop entry,
# the icon, the man page and the JSON schema of vantrel-cli, with the Debian
# packages the two programs run on.
include(GNUInstallDirs)
install(FILES ${CMAKE_SOURCE_DIR}/docs/cli-json.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The Debian copyright file, in the machine-readable format.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <vantrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HD DVD EVO and DVD VOB stream splitter (window and command line)")
# One string: set() with several would join them with ";" into the control file.
set(CPACK_PACKAGE_DESCRIPTION
    "Splits HD DVD EVO and DVD VOB program streams into elementary streams, reads
HD DVD playlists (titles, streams, languages, chapters) and writes rebuilt EVO
files. vantrel is the window, and vantrel-cli does the same from a terminal and
writes JSON and chapter files for scripts and muxers.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# What the two programs link against (Qt 6 widgets and libjpeg for the window,
# the C++ runtime for both) and the Qt platform plugins the window needs to open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, qt6-qpa-plugins, libjpeg62-turbo")
# vantrel-cli mkv runs mkvmerge.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mkvtoolnix")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
