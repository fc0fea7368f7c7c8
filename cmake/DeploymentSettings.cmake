# Deployment settings compiled into the binary, the defaults under what a
# school sets in /etc/ka-tesmar/ka-tesmar.conf. They point at the reference
# class service on loopback so that a fresh checkout runs offline.
set(KA_TESMAR_SERVICE_URL "https://127.0.0.1:8443/Vexlo/api/" CACHE STRING
    "Base URL of the class service (ends in /Vexlo/api/)")
set(KA_TESMAR_PROBE_URL "https://127.0.0.1:8443/" CACHE STRING
    "Connectivity probe fetched before a login")
# A debug build trusts the certificate that scripts/run-app.sh has the
# reference service make in the build folder. Any other build (release, the
# package) trusts the system's CAs only: a path that does not exist on the
# computer it runs on could be created by anyone and become a trust anchor.
set(ka_tesmar_reference_ca "${CMAKE_BINARY_DIR}/service/tls/cert.pem")
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(ka_tesmar_default_ca "${ka_tesmar_reference_ca}")
else()
  set(ka_tesmar_default_ca "")
endif()
set(KA_TESMAR_CA_BUNDLE "${ka_tesmar_default_ca}" CACHE STRING
    "Extra CA certificates trusted besides the system's (may be empty)")
# Build folders configured before the reference service existed still hold
# the placeholder default; point them at the default of their build type.
if(KA_TESMAR_CA_BUNDLE STREQUAL "${CMAKE_BINARY_DIR}/dev-ca/ca.pem")
  set_property(CACHE KA_TESMAR_CA_BUNDLE PROPERTY VALUE "${ka_tesmar_default_ca}")
endif()
string(FIND "${KA_TESMAR_CA_BUNDLE}" "${CMAKE_BINARY_DIR}/" ka_tesmar_ca_in_build)
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug" AND ka_tesmar_ca_in_build EQUAL 0)
  message(WARNING "KA_TESMAR_CA_BUNDLE lies inside the build folder; a release build "
                  "should trust its service through /etc/ka-tesmar/ka-tesmar.conf")
endif()
