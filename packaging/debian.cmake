# The Debian package: `cpack -G DEB` in a build folder makes zaro-session_<version>_<arch>.deb of what
# `cmake --install` puts under /usr, with the files Debian wants besides: the copyright file, the changelog.
# The package has no maintainer scripts: shared-mime-info's trigger on /usr/share/mime/packages compiles
# the MIME database when the package comes and goes.

# The copyright file in Debian's machine-readable form, from LICENSE: its copyright line and its text.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE zaro_license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)\n\n(.*[^\n])" _ "${zaro_license}")
set(zaro_copyright "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" zaro_license "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " zaro_license " ${zaro_license}")

set(CPACK_PACKAGE_CONTACT "zaro-session authors <zaro-session@users.noreply.github.com>")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in debian/copyright @ONLY)

# The changelog's newest entry names the version being packaged.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog zaro_changelog_top LIMIT_COUNT 1)
if(NOT zaro_changelog_top MATCHES "^zaro-session \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog debian/changelog COPYONLY)
zaro_gzipped(zaro_debian_changelog ${CMAKE_BINARY_DIR}/debian/changelog)

# Only the package installs them: `cmake --install` leaves this component out.
install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME} COMPONENT debian EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")

# One package a group of components: zaro-session (everything but the KDE plugins, with the GdkPixbuf
# loader) and, when the KDE plugins are built, zaro-session-kde, which depends on it. GNOME users need not
# take Qt and KDE Frameworks.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_COMPONENT_UNSPECIFIED_GROUP main)
set(CPACK_COMPONENT_DEBIAN_GROUP main)
set(CPACK_DEBIAN_MAIN_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_DEBIAN_MAIN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS fonts-inter)
if(ZARO_KDE_PLUGINS)
  install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME}-kde COMPONENT kdedoc EXCLUDE_FROM_ALL)
  list(APPEND CPACK_COMPONENTS_ALL kde kdedoc)
  set(CPACK_COMPONENT_KDE_GROUP kde)
  set(CPACK_COMPONENT_KDEDOC_GROUP kde)
  set(CPACK_DEBIAN_KDE_PACKAGE_NAME ${PROJECT_NAME}-kde)
  set(CPACK_DEBIAN_KDE_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_KDE_PACKAGE_SECTION kde)
  set(CPACK_DEBIAN_KDE_PACKAGE_DEPENDS "${PROJECT_NAME} (= ${PROJECT_VERSION})")
  # kio-extras runs thumbnail plugins; Dolphin and Baloo are the programs that use them.
  set(CPACK_DEBIAN_KDE_PACKAGE_RECOMMENDS kio-extras)
  set(CPACK_DEBIAN_KDE_DESCRIPTION [[
track-session logs in KDE's Dolphin: thumbnails and metadata
zaro-session-kde shows the track-session logs that zaro-session reads in KDE's
file manager, Dolphin: their thumbnails (the zaro-session mark, or each
session's track when the mark is turned off in Dolphin's preview settings) and
their track, date, duration, data source, best lap, laps and distance in the
information panel and the desktop's search.

The plugins run the programs of zaro-session and read nothing themselves.]])
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the zaro-session authors")
# Each description begins with its package's summary line.
set(CPACK_DEBIAN_MAIN_DESCRIPTION [[
previews and thumbnails of motorsport track-session logs
zaro-session draws a picture of the CSV logs that lap timers and GPS data
loggers write (ZARO CSV, RaceBox CSV and plain track CSV): the track, a map of
the GPS trace, the best lap, laps, duration, distance, top speed and the lap
list, or one sentence on why a file cannot be shown.

It holds zaro-session-preview, which draws that card, zaro-session-thumbnailer
with its entry for the thumbnailers of GNOME, Xfce and other desktops, the
MIME type of session logs, a GdkPixbuf loader that shows a session file as its
card in GNOME's previewer and image viewers, and zaro-session, which prints a
session's summary as text or JSON.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-inter)
set(CPACK_STRIP_FILES ON)
# Folders as Debian wants them whatever the umask of the one who packages.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
