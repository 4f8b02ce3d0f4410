# The Authenticode signature of setup.exe, the last change to the image: it covers the image's
# bytes, so the load configuration and the strip come first and nothing may follow it.
#   cmake -DFILE=setup.exe -DOSSLSIGNCODE=… -DPKCS12=… -DPASSWORD_FILE=… -DDESCRIPTION=…
#         -DURL=… [-DTIMESTAMP_URL=…] -P SignSetup.cmake
set(timestamp)
if(TIMESTAMP_URL)
  set(timestamp -ts ${TIMESTAMP_URL})
endif()
# Signed into a second file and moved over, so a failed signing never leaves half a file.
file(REMOVE ${FILE}.signed)
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} -readpass ${PASSWORD_FILE} -h sha256
          -n ${DESCRIPTION} -i ${URL} ${timestamp} -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE ${FILE}.signed)
  message(FATAL_ERROR "Signing ${FILE} with ${PKCS12} failed:\n${output}")
endif()
file(RENAME ${FILE}.signed ${FILE})
