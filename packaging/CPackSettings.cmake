# The Debian package: `cmake --build build --target package` writes
# build/potencor_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME potencor)
set(CPACK_PACKAGE_VENDOR "The Potencor developers")
set(CPACK_PACKAGE_CONTACT "The Potencor developers <potencor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "virtual measurement of the potential between two charged cylinders")
set(CPACK_PACKAGE_DESCRIPTION
  "A laboratory exercise in electrostatics: the student measures the electrostatic
potential in the cross-section plane of two parallel charged cylinders by
clicking on a chart of the plane, keeps a protocol of the measurements, saves
it to a text file and copies the chart for the report. The interface is Russian.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Potencor developers <potencor@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${POTENCOR_HOMEPAGE_URL})
# The libraries the program links come from dpkg-shlibdeps; among them
# libqt6gui6, which on Debian 12 also ships the xcb platform plugin
# (libqxcb.so; qt6-qpa-plugins holds only the vnc and tuio ones). Added by
# hand is what Qt loads at run time and shlibdeps cannot see: Qt's Russian
# catalogue (ui/translations.h) and the faces that stand in for Arial and
# Segoe UI (chart/fonts.h).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-liberation, fonts-dejavu-core")

include(CPack)
