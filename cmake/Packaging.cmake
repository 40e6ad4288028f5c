# Installation of the documents and the Debian package (make package).
# The programs, the desktop entry and the icons are installed by their own
# folders (src/App, sim).
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/SIMULATOR.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sentrova-manager)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sentrova-manager)
set(CPACK_PACKAGE_VENDOR Sentrova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Sentrova Manager developers <manager@sentrova.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set-up and operation tool for the Sentrova UWB locating system")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Sentrova Manager finds the masters of a Sentrova ultra-wideband real-time locating system on the LAN, "
    "talks to them over the service channel, receives the location stream and shows the site: a 3D map, "
    "the node list, set-up and calibration tools, capture recording and replay, firmware update, and "
    "publishing to an MQTT broker. It runs as a system service without a display as well "
    "(sentrova-manager-headless.service, not enabled on installation), and as a remote view of a site "
    "that such a service publishes. sentrova-sim, a simulated site, comes with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link (Qt with its platform plugins,
# libQGLViewer, GL, libmosquitto, ldns, ...) become Depends through
# dpkg-shlibdeps. A broker and its command-line clients are for publishing.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mosquitto, mosquitto-clients")
# The service's system user is made by systemd-sysusers, or by adduser
# where systemd is not installed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "systemd | adduser")
# The maintainer scripts make that user and leave the service disabled; the
# example settings file is a conffile, so an edited one survives upgrades.
set(SERVICE_DIR ${PROJECT_SOURCE_DIR}/src/App/service)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${SERVICE_DIR}/postinst ${SERVICE_DIR}/prerm ${SERVICE_DIR}/postrm ${SERVICE_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
