# cpack -G DEB: one package with the window, vantrel-mkv, vantrel-cli, their
# desktop entries and icons, the three man pages, the changelog and the JSON schema of
# vantrel-cli, with the Debian packages the two programs run on. lintian on the
# .deb (tests/packaging) is its judge.
include(GNUInstallDirs)
set(VANTREL_MAINTAINER "Vantrel developers <vantrel-dev@lists.vantrel.org>")
install(FILES ${CMAKE_SOURCE_DIR}/docs/cli-json.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The Debian copyright file, in the machine-readable format.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Man pages and the changelog are installed compressed, as Debian has them
# (gzip -n: no name or time stamp, the same bytes from every build).
set(man_pages ${CMAKE_SOURCE_DIR}/src/cli/vantrel-cli.1)
if(VANTREL_BUILD_UI)
  list(APPEND man_pages ${CMAKE_SOURCE_DIR}/src/app/vantrel.1 ${CMAKE_SOURCE_DIR}/src/mkv_window/vantrel-mkv.1)
endif()
set(gzipped)
# vantrel_install_gzipped(FILE FOLDER DESTINATION): FILE as FOLDER/NAME.gz, installed to DESTINATION.
function(vantrel_install_gzipped file folder destination)
  get_filename_component(name ${file} NAME)
  set(out ${folder}/${name}.gz)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                     COMMAND sh -c "gzip -9nc '${file}' > '${out}'"
                     DEPENDS ${file} VERBATIM)
  install(FILES ${out} DESTINATION ${destination})
  set(gzipped ${gzipped} ${out} PARENT_SCOPE)
endfunction()
foreach(page ${man_pages})
  vantrel_install_gzipped(${page} ${CMAKE_BINARY_DIR}/man ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A native package's changelog, one entry for the version of project(), dated
# by SOURCE_DATE_EPOCH when it is set (reproducible builds), else by the configure run.
string(TIMESTAMP VANTREL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
vantrel_install_gzipped(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_DOCDIR})
add_custom_target(vantrel-package-docs ALL DEPENDS ${gzipped})

# A stripped install (cpack, cmake --install --strip) also drops the compiler's
# .comment section, as Debian's own stripping does.
set(programs vantrel-cli)
if(VANTREL_BUILD_UI)
  list(APPEND programs vantrel vantrel-mkv)
endif()
foreach(program ${programs})
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()")
endforeach()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
# Installed programs without their symbols, as Debian ships them.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HD DVD EVO and DVD VOB stream splitter (window and command line)")
# One string: set() with several would join them with ";" into the control file.
set(CPACK_PACKAGE_DESCRIPTION
    "Splits HD DVD EVO and DVD VOB program streams into elementary streams, reads
HD DVD playlists (titles, streams, languages, chapters) and writes rebuilt EVO
files. vantrel is the window, and vantrel-cli does the same from a terminal and
writes JSON and chapter files for scripts and muxers. vantrel-mkv is a window
that writes a disc's title as one Matroska file.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# What the two programs link against (Qt 6 widgets and libjpeg for the window,
# pugixml, libudfread and libavformat with its codec and utility libraries,
# the C++ runtime for both) and the Qt platform plugins the window needs to open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, qt6-qpa-plugins, libjpeg62-turbo, libpugixml1v5, libudfread0, libavformat59, libavcodec59, libavutil57")
# vantrel-cli mkv runs mkvmerge.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mkvtoolnix")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
