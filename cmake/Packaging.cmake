# Installing the station like any Debian program: `cmake --install` lays out the three programs,
# the desktop entry, the icon, the man pages, the AppStream data, the sysctl drop-in, the
# services and the documents under the prefix, and the system service's configuration in
# /etc/vantrelo-nms; `cpack -G DEB` (scripts/package.sh) makes the package from that.

include(GNUInstallDirs)

set(NMS_PACKAGE_NAME vantrelo-nms)
set(NMS_APP_ID com.kestrova.VantreloNMS)
set(NMS_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(NMS_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS nms nms-cli vantrelo-element-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${NMS_PACKAGING_DIR}/${NMS_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${NMS_PACKAGING_DIR}/vantrelo-nms.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${NMS_PACKAGING_DIR}/${NMS_APP_ID}.metainfo.xml
               ${NMS_PACKAGING_OUT}/${NMS_APP_ID}.metainfo.xml @ONLY)
install(FILES ${NMS_PACKAGING_OUT}/${NMS_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Vendor sysctl settings live under /usr/lib; an administrator's /etc/sysctl.d overrides them.
install(FILES ${NMS_PACKAGING_DIR}/60-vantrelo-nms.conf DESTINATION lib/sysctl.d)
# The plant monitor as a user service: systemctl --user enable --now nms-monitor
install(FILES ${NMS_PACKAGING_DIR}/nms-monitor.service DESTINATION lib/systemd/user)
# And as a system service for an operations centre, off until enabled: the unit, its user, the
# helper that opens node_exporter's folder to that user, and its configuration, which is the
# administrator's (a conffile: kept on upgrade and removal, gone on purge). The unit names the
# helper and the configuration by these paths.
install(FILES ${NMS_PACKAGING_DIR}/vantrelo-nms-monitor.service DESTINATION lib/systemd/system)
install(FILES ${NMS_PACKAGING_DIR}/vantrelo-nms.sysusers
        DESTINATION lib/sysusers.d RENAME vantrelo-nms.conf)
install(PROGRAMS ${NMS_PACKAGING_DIR}/textfile-access DESTINATION libexec/vantrelo-nms)
install(FILES ${NMS_PACKAGING_DIR}/vantrelo-nms-monitor.conf
        DESTINATION /etc/vantrelo-nms RENAME monitor.conf)
# Prometheus: the alert rules where a configuration can name them, and a sample configuration
# for several stations that does.
install(FILES ${NMS_PACKAGING_DIR}/prometheus/vantrelo-nms.rules.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrelo-nms/prometheus)
install(FILES ${NMS_PACKAGING_DIR}/prometheus/prometheus.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrelo-nms/examples)

# Man pages and the changelog are installed compressed, without a time stamp in the archive.
set(_nms_compressed)
foreach(_page nms nms-cli vantrelo-element-sim)
  configure_file(${NMS_PACKAGING_DIR}/man/${_page}.1 ${NMS_PACKAGING_OUT}/man/${_page}.1 @ONLY)
  list(APPEND _nms_compressed man/${_page}.1)
endforeach()
configure_file(${NMS_PACKAGING_DIR}/debian/changelog.in ${NMS_PACKAGING_OUT}/changelog @ONLY)
list(APPEND _nms_compressed changelog)
set(_nms_gz)
foreach(_file ${_nms_compressed})
  add_custom_command(OUTPUT ${NMS_PACKAGING_OUT}/${_file}.gz
                     COMMAND gzip -9nc ${NMS_PACKAGING_OUT}/${_file} > ${NMS_PACKAGING_OUT}/${_file}.gz
                     DEPENDS ${NMS_PACKAGING_OUT}/${_file}
                     VERBATIM)
  list(APPEND _nms_gz ${NMS_PACKAGING_OUT}/${_file}.gz)
endforeach()
add_custom_target(nms_package_files ALL DEPENDS ${_nms_gz})
foreach(_page nms nms-cli vantrelo-element-sim)
  install(FILES ${NMS_PACKAGING_OUT}/man/${_page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(NMS_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${NMS_PACKAGE_NAME})
install(FILES ${NMS_PACKAGING_DIR}/debian/copyright ${NMS_PACKAGING_OUT}/changelog.gz
        DESTINATION ${NMS_DOCDIR})

# --- The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${NMS_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrova Broadcast")
set(CPACK_PACKAGE_CONTACT "Kestrova Broadcast <support@kestrova-broadcast.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network management station for Vantrelo NG audio links")
set(CPACK_PACKAGE_DESCRIPTION
    "The network management station of a Vantrelo NG IP studio-to-transmitter\n\
link: it finds the encoders and decoders on the local network, keeps them in\n\
a local database, shows and edits their configuration, sets their audio level,\n\
shows an encoder's live level, fetches statistics and alarms, measures and\n\
adjusts SFN delays, and pings them.\n\
.\n\
This package holds the station's window (nms), the station without a window\n\
(nms-cli) and a simulated element for tests and training\n\
(vantrelo-element-sim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrova-broadcast.example/")
# The libraries the programs link come from dpkg-shlibdeps. Only the window system plug-in,
# which Qt loads at run time and no linker sees, is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The system service's user comes from systemd's sysusers, or from adduser without it; setfacl
# opens node_exporter's folder to that user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, acl, systemd-sysusers | adduser")
# setcap, for the ping's capability; without it the installation says what to do instead.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${NMS_PACKAGING_DIR}/debian/postinst ${NMS_PACKAGING_DIR}/debian/prerm
    ${NMS_PACKAGING_DIR}/debian/postrm ${NMS_PACKAGING_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
