# Transport: hashing, signatures, the HTTPS client and LZMS blobs, under Wine.

# Data files made on the Linux side: signatures by the build's own key and by another one, and
# the files that the HTTPS test server serves.
set(TRANSPORT_FIXTURES ${CMAKE_BINARY_DIR}/transport-fixtures)
add_custom_command(
  OUTPUT ${TRANSPORT_FIXTURES}/stamp
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/transport_fixtures.py
          ${TRANSPORT_FIXTURES} --trusted-key ${PLANNIX_KEY_DIR}/private.pem
          --trusted-public ${PLANNIX_PUBLIC_KEY}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/transport_fixtures.py
          ${CMAKE_CURRENT_SOURCE_DIR}/fixture_kit.py ${PLANNIX_PUBLIC_KEY}
  COMMENT "Making the transport test data")
add_custom_target(transport_fixtures ALL DEPENDS ${TRANSPORT_FIXTURES}/stamp)

plannix_wine_test(transport_hash_test SOURCES transport_hash_test.cpp TIMEOUT 120)

plannix_wine_test(transport_signature_test SOURCES transport_signature_test.cpp TIMEOUT 120)
add_dependencies(transport_signature_test transport_fixtures)
set_tests_properties(wine.transport_signature_test PROPERTIES
                     ENVIRONMENT "PLANNIX_TRANSPORT_FIXTURES=${TRANSPORT_FIXTURES}")

# The HTTPS client against tools/testserver. The test build's port is fixed, hence the lock.
# Drops: in the middle of a TLS record, and a plain close or a reset after part of the body,
# which Wine 8's WinHTTP takes for the end of the body (http_get then checks the length).
plannix_wine_helper(add_root_ca helpers/add_root_ca.cpp)
target_link_libraries(add_root_ca PRIVATE crypt32)
set(TRANSPORT_CERTS ${PLANNIX_TEST_CERTS})
set(TRANSPORT_HTTP_LOG ${CMAKE_BINARY_DIR}/transport-http-requests.log)
set(TRANSPORT_HTTP_SERVER ${CMAKE_SOURCE_DIR}/tools/testserver/with_server.sh
    --certs ${TRANSPORT_CERTS} --log ${TRANSPORT_HTTP_LOG}
    --root ${TRANSPORT_FIXTURES}/release --port ${PLANNIX_PORT} --lifetime 100
    --fault /plannix/app/error.bin status=500
    --fault /plannix/app/partial.bin status=206
    --fault /plannix/app/slow.bin slow=1024/0.05
    --fault /plannix/app/dropped.bin drop=20000,torn
    --fault /plannix/app/closed.bin drop=20000
    --fault /plannix/app/reset.bin drop=20000,reset
    --)
plannix_wine_test(transport_http_test SOURCES transport_http_test.cpp TIMEOUT 120
                  WRAPPER ${TRANSPORT_HTTP_SERVER})
add_dependencies(transport_http_test transport_fixtures add_root_ca)
set(TRANSPORT_HTTP_ENV PLANNIX_TRANSPORT_FIXTURES=${TRANSPORT_FIXTURES}
                       PLANNIX_TESTSERVER_LOG=${TRANSPORT_HTTP_LOG})
set_tests_properties(wine.transport_http_test PROPERTIES
  RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "${TRANSPORT_HTTP_ENV};GTEST_FILTER=-*TrustsOnly*;PLANNIX_WINE_SETUP=wine $<TARGET_FILE:add_root_ca> Z:${TRANSPORT_CERTS}/ca.der")
# The same program once more in a prefix without the test CA: certificates must be checked.
add_test(NAME wine.transport_http_trust_test
         COMMAND ${TRANSPORT_HTTP_SERVER} ${PLANNIX_WINE_RUN} $<TARGET_FILE:transport_http_test>
                 --gtest_color=no)
set_tests_properties(wine.transport_http_trust_test PROPERTIES
  TIMEOUT 120 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "${TRANSPORT_HTTP_ENV};GTEST_FILTER=*TrustsOnly*")

# LZMS blobs through lzms_decompress: under Wine always our own decoder.
plannix_wine_test(transport_lzms_test SOURCES transport_lzms_test.cpp TIMEOUT 120)
set_tests_properties(wine.transport_lzms_test PROPERTIES
                     ENVIRONMENT "PLANNIX_TRANSPORT_DATA=${CMAKE_SOURCE_DIR}/tests/data/transport")
