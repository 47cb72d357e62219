# Installation folders and the Debian package (cpack -G DEB in a release build folder).

# Distributions name the documentation folder after the package, which is lower case.
if(NOT CMAKE_INSTALL_DOCDIR)
  set(CMAKE_INSTALL_DOCDIR share/doc/tessaline CACHE PATH "Documentation root" FORCE)
endif()
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaline)
set(CPACK_PACKAGE_VENDOR "The Tessaline developers")
# Whoever publishes the package names themselves with -DTESSALINE_MAINTAINER="Name <address>";
# the default's domain is reserved for examples, so it cannot reach a stranger.
set(TESSALINE_MAINTAINER "The Tessaline developers <tessaline@example.org>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSALINE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of a Debian description stay under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "\
Tessaline shows every picture of one folder as a thumbnail, sorted by file
name. Drag the thumbnails into the order you want; Tessaline then renames the
files so that their names carry that order, with a four-digit running number
as a prefix (img0001.jpg, img0002.jpg, ...) or in front of the old name
(0001 urlaub.jpg).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tessaline)
# A Debian package names its licence in usr/share/doc/tessaline/copyright (data/); the other
# generators take it from here.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE GPL-3.0-or-later)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt, TurboJPEG, libheif, FFmpeg's libavformat, libavcodec, libswscale and libavutil (clips), and
# whatever library comes later are found in the binary by dpkg-shlibdeps. (Debian 12's libheif1, 1.15, links its HEVC and AV1 decoders libde265-0 and
# libdav1d6 itself, so phone photos need no plugin package; later releases split them into
# libheif-plugin-libde265 and libheif-plugin-dav1d, which would then be named here.) What Qt
# loads at run time is not found, so it is named here. Qt's German catalogue is a dependency
# although the program starts without it: its buttons and dialogs would then speak English in
# a German program. The others are not needed to start: the plugins read pictures besides
# JPEG, and Liberation Sans stands in for the Arial the forms were laid out with (they grow to
# fit a wider font).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, fonts-liberation")
# Menus, the icon cache, the MIME cache of the folder type and man's index are refreshed by
# the dpkg triggers of desktop-file-utils, hicolor-icon-theme and man-db, so the package
# needs no maintainer scripts.

include(CPack)
