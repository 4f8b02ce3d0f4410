# The install and update engine: install_worker against the HTTPS test server serving releases
# made by the real publisher's tool; the server's request log says what was fetched.
set(ENGINE_FIXTURE ${CMAKE_BINARY_DIR}/engine-fixture)
add_custom_command(
  OUTPUT ${ENGINE_FIXTURE}/stamp
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/make_engine_fixture.py
          ${ENGINE_FIXTURE} --tool ${PLANNIX_RELEASE_TOOL} --key ${PLANNIX_KEY_DIR}/private.pem
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_engine_fixture.py
          ${CMAKE_CURRENT_SOURCE_DIR}/fixture_kit.py ${PLANNIX_RELEASE_TOOL}
          ${PLANNIX_PUBLIC_KEY}
  COMMENT "Making the signed releases of the engine tests")
add_custom_target(engine_fixture ALL DEPENDS ${ENGINE_FIXTURE}/stamp)

set(ENGINE_LOG ${CMAKE_BINARY_DIR}/engine-requests.log)
plannix_wine_test(engine_pipeline_test SOURCES engine_pipeline_test.cpp TIMEOUT 240
  WRAPPER ${CMAKE_CURRENT_SOURCE_DIR}/with_small_disk.sh
          ${CMAKE_SOURCE_DIR}/tools/testserver/with_server.sh --certs ${PLANNIX_TEST_CERTS}
          --log ${ENGINE_LOG} --root ${ENGINE_FIXTURE}/served --port ${PLANNIX_PORT}
          --lifetime 230 --faults-file ${ENGINE_FIXTURE}/faults.txt --)
# Setup's own resources, so the test runs with its UTF-8 code page, as shell links need.
target_sources(engine_pipeline_test PRIVATE ${CMAKE_SOURCE_DIR}/resources/setup.rc)
add_dependencies(engine_pipeline_test engine_fixture add_root_ca hold_file)
set_tests_properties(wine.engine_pipeline_test PROPERTIES
  RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_ENGINE_FIXTURE=${ENGINE_FIXTURE};PLANNIX_TESTSERVER_LOG=${ENGINE_LOG};PLANNIX_HOLD_FILE=$<TARGET_FILE:hold_file>;PLANNIX_WINE_SETUP=bash ${CMAKE_CURRENT_SOURCE_DIR}/engine_pipeline_prefix.sh && wine $<TARGET_FILE:add_root_ca> Z:${PLANNIX_TEST_CERTS}/ca.der")

# What an update, an install or a removal must never destroy: releases that rename by letter
# case, turn a file into a folder, drop a held file, and one whose plannix.exe is the demo's
# stand-in application; install folders holding links (engine_safety_prefix.sh).
set(SAFETY_FIXTURE ${CMAKE_BINARY_DIR}/engine-safety-fixture)
add_custom_command(
  OUTPUT ${SAFETY_FIXTURE}/stamp
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/make_safety_fixture.py
          ${SAFETY_FIXTURE} --tool ${PLANNIX_RELEASE_TOOL} --key ${PLANNIX_KEY_DIR}/private.pem
          --app $<TARGET_FILE:plannix-demo>
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_safety_fixture.py
          ${CMAKE_CURRENT_SOURCE_DIR}/fixture_kit.py plannix-demo
          ${PLANNIX_RELEASE_TOOL} ${PLANNIX_PUBLIC_KEY}
  COMMENT "Making the signed releases of the engine's safety tests")
add_custom_target(engine_safety_fixture ALL DEPENDS ${SAFETY_FIXTURE}/stamp)

set(SAFETY_LOG ${CMAKE_BINARY_DIR}/engine-safety-requests.log)
plannix_wine_test(engine_safety_test SOURCES engine_safety_test.cpp TIMEOUT 240
  WRAPPER ${CMAKE_SOURCE_DIR}/tools/testserver/with_server.sh --certs ${PLANNIX_TEST_CERTS}
          --log ${SAFETY_LOG} --root ${SAFETY_FIXTURE}/served --port ${PLANNIX_PORT}
          --lifetime 230 --)
target_sources(engine_safety_test PRIVATE ${CMAKE_SOURCE_DIR}/resources/setup.rc)
add_dependencies(engine_safety_test engine_safety_fixture add_root_ca)
set_tests_properties(wine.engine_safety_test PROPERTIES
  RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_ENGINE_FIXTURE=${SAFETY_FIXTURE};PLANNIX_WINE_SETUP=bash ${CMAKE_CURRENT_SOURCE_DIR}/engine_safety_prefix.sh && wine $<TARGET_FILE:add_root_ca> Z:${PLANNIX_TEST_CERTS}/ca.der")
