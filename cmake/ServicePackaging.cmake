# The second Debian package from the same build: ka-tesmar-service, the class
# service for the school's server (component "service"). Everything installed
# without a component stays in the students' package, ka-tesmar.
set(kt_service_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/ka-tesmar-service)
install(TARGETS ka-tesmar-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/service/ka-tesmar-service.service
        DESTINATION /lib/systemd/system COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/service/ka-tesmar-service.conf
        DESTINATION /etc/ka-tesmar-service COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${kt_changelog}
        DESTINATION ${kt_service_doc_dir} COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/service/haproxy.cfg.example
        DESTINATION ${kt_service_doc_dir}/examples COMPONENT service)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified service)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME "ka-tesmar")
set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
# With components each package's description starts with its own summary
# line; CPack would put the one common summary in front of both.
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION
    "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME "ka-tesmar-service")
set(CPACK_DEBIAN_SERVICE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION "education")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION
    "class service for Ka Tesmar, with the teacher's page\n"
    "The server a school runs for the Ka Tesmar student application: students\n"
    "join a class with its code, and the teacher switches the blocking of AI\n"
    "services for the whole class from a page in the browser. Data is kept in\n"
    "SQLite under /var/lib/ka-tesmar-service.")
string(REPLACE ";" "" CPACK_DEBIAN_SERVICE_DESCRIPTION "${CPACK_DEBIAN_SERVICE_DESCRIPTION}")
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "adduser, openssl, libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVICE_PACKAGE_RECOMMENDS "")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/service/postinst;${PROJECT_SOURCE_DIR}/packaging/service/prerm;${PROJECT_SOURCE_DIR}/packaging/service/postrm;${PROJECT_SOURCE_DIR}/packaging/service/conffiles")
