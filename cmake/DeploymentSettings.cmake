# Deployment settings, compiled into the binary. The defaults point at the
# reference class service on loopback so that a fresh checkout runs offline.
set(KA_TESMAR_SERVICE_URL "https://127.0.0.1:8443/Vexlo/api/" CACHE STRING
    "Base URL of the class service (ends in /Vexlo/api/)")
set(KA_TESMAR_PROBE_URL "https://127.0.0.1:8443/" CACHE STRING
    "Connectivity probe fetched before a login")
# The reference service's certificate as scripts/run-app.sh has it generated.
set(ka_tesmar_reference_ca "${CMAKE_BINARY_DIR}/service/tls/cert.pem")
set(KA_TESMAR_CA_BUNDLE "${ka_tesmar_reference_ca}" CACHE STRING
    "Extra CA certificates trusted besides the system's (may be empty)")
# Build folders configured before the reference service existed still hold
# the placeholder default; point them at the service's certificate.
if(KA_TESMAR_CA_BUNDLE STREQUAL "${CMAKE_BINARY_DIR}/dev-ca/ca.pem")
  set_property(CACHE KA_TESMAR_CA_BUNDLE PROPERTY VALUE "${ka_tesmar_reference_ca}")
endif()
