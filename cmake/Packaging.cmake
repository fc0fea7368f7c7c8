# The Debian package, made with `cpack -G DEB` in the build folder: the
# application, ka-tesmar-admin, ka-tesmar-service, a desktop entry and icon,
# the polkit action and its helper (installed by src/helper), and
# maintainer scripts that restore the network when the package is removed
# while blocking is on.
include(GNUInstallDirs)

install(TARGETS Ka_Tesmar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/ka-tesmar.tmpfiles
        DESTINATION lib/tmpfiles.d RENAME ka-tesmar.conf)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/ka-tesmar.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/images/LoginIcon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME ka-tesmar.png)

# Debian wants the copyright file and a compressed changelog in the doc folder.
set(kt_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/ka-tesmar)
set(kt_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${kt_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
  COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${kt_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${kt_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${kt_doc_dir})
install(FILES ${kt_changelog} DESTINATION ${kt_doc_dir})

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "ka-tesmar")
set(CPACK_PACKAGE_VENDOR "Ka Tesmar")
set(CPACK_PACKAGE_CONTACT "Ka Tesmar <maintainers@ka-tesmar.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "student application that blocks AI services during lessons")
set(CPACK_PACKAGE_DESCRIPTION
    "Ridudiziv Ka Tesmar joins a class with a name and a class code and follows\n"
    "the teacher's switch: while blocking is on, AI services are unreachable\n"
    "through the hosts file and an nftables table of its own, and a guardian\n"
    "restores the network when the application is gone.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "education")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the shared libraries do not tell: the QML modules of the window, the
# icon font, the tools the scripts and the lookups run.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "nftables, pkexec, polkitd, procps, bind9-dnsutils | dnsutils, "
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, "
    "qml6-module-qtquick-window, qml6-module-qtquick-templates, "
    "qml6-module-qtqml-workerscript, qml6-module-qt5compat-graphicaleffects, "
    "fonts-material-design-icons-iconfont")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "espeak-ng, pulseaudio-utils | alsa-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/prerm;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(cmake/ServicePackaging.cmake)
include(CPack)
