# The Authenticode signature of setup.exe, when the build signs it with a test certificate made
# by tools/testserver/make_certs.sh --signing (its CA lies beside the PKCS#12 file).
if(PLANNIX_SIGN_PKCS12)
  get_filename_component(PLANNIX_SIGN_DIR ${PLANNIX_SIGN_PKCS12} DIRECTORY)
  if(EXISTS ${PLANNIX_SIGN_DIR}/ca.pem)
    add_test(NAME signing.authenticode
             COMMAND /usr/bin/python3 -m unittest -v test_signing
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/tools)
    set_tests_properties(signing.authenticode PROPERTIES TIMEOUT 120
      ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_SIGN_CA=${PLANNIX_SIGN_DIR}/ca.pem;PYTHONDONTWRITEBYTECODE=1")
  endif()
endif()
