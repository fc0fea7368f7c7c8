# Deployment settings, compiled into the binary. The defaults point at the
# reference class service on loopback so that a fresh checkout runs offline.
set(KA_TESMAR_SERVICE_URL "https://127.0.0.1:8443/Vexlo/api/" CACHE STRING
    "Base URL of the class service (ends in /Vexlo/api/)")
set(KA_TESMAR_PROBE_URL "https://127.0.0.1:8443/" CACHE STRING
    "Connectivity probe fetched before a login")
set(KA_TESMAR_CA_BUNDLE "${CMAKE_BINARY_DIR}/dev-ca/ca.pem" CACHE STRING
    "Extra CA certificates trusted besides the system's (may be empty)")
