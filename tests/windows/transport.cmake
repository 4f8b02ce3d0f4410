# Transport: hashing, signatures, the HTTPS client and LZMS blobs, under Wine.

# Data files made on the Linux side: signatures by the build's own key and by another one, and
# the files that the HTTPS test server serves.
get_filename_component(PLANNIX_KEY_DIR ${PLANNIX_PUBLIC_KEY} DIRECTORY)
set(TRANSPORT_FIXTURES ${CMAKE_BINARY_DIR}/transport-fixtures)
add_custom_command(
  OUTPUT ${TRANSPORT_FIXTURES}/stamp
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/transport_fixtures.py
          ${TRANSPORT_FIXTURES} --trusted-key ${PLANNIX_KEY_DIR}/private.pem
          --trusted-public ${PLANNIX_PUBLIC_KEY}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/transport_fixtures.py ${PLANNIX_PUBLIC_KEY}
  COMMENT "Making the transport test data")
add_custom_target(transport_fixtures ALL DEPENDS ${TRANSPORT_FIXTURES}/stamp)

plannix_wine_test(transport_hash_test SOURCES transport_hash_test.cpp TIMEOUT 120)

plannix_wine_test(transport_signature_test SOURCES transport_signature_test.cpp TIMEOUT 120)
add_dependencies(transport_signature_test transport_fixtures)
set_tests_properties(wine.transport_signature_test PROPERTIES
                     ENVIRONMENT "PLANNIX_TRANSPORT_FIXTURES=${TRANSPORT_FIXTURES}")
