# Start-up and window: helpers for the scenario tests, and GoogleTest programs under Wine.
add_executable(find_window helpers/find_window.cpp)
target_include_directories(find_window PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(find_window PRIVATE setup_windows psapi ntdll)
target_link_options(find_window PRIVATE -municode ${PLANNIX_STATIC_RUNTIME})

add_executable(argv_of helpers/argv_of.cpp)
target_link_options(argv_of PRIVATE -municode ${PLANNIX_STATIC_RUNTIME})
target_link_libraries(argv_of PRIVATE setup_windows)
target_include_directories(argv_of PRIVATE ${CMAKE_SOURCE_DIR})

plannix_wine_test(app_state_test SOURCES app_state_test.cpp TIMEOUT 120)
plannix_wine_test(app_startup_test SOURCES app_startup_test.cpp TIMEOUT 120)

# Scenario tests: the real setup.exe under Wine, driven from Python.
add_test(NAME scenario.startup
         COMMAND /usr/bin/python3 -m unittest -v test_startup
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.startup PROPERTIES TIMEOUT 600 ENVIRONMENT
  "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PYTHONDONTWRITEBYTECODE=1")

# The version check against a release made by the real publisher's tool.
set(APP_RELEASE_FIXTURE ${CMAKE_BINARY_DIR}/app-release-fixture)
add_custom_command(
  OUTPUT ${APP_RELEASE_FIXTURE}/stamp
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/make_release_fixture.py
          ${APP_RELEASE_FIXTURE} --tool ${PLANNIX_RELEASE_TOOL} --key ${PLANNIX_KEY_DIR}/private.pem
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_release_fixture.py
          ${CMAKE_CURRENT_SOURCE_DIR}/fixture_kit.py ${PLANNIX_RELEASE_TOOL}
          ${PLANNIX_PUBLIC_KEY}
  COMMENT "Making the signed release of the app tests")
add_custom_target(app_release_fixture ALL DEPENDS ${APP_RELEASE_FIXTURE}/stamp)
plannix_wine_test(app_version_check_test SOURCES app_version_check_test.cpp TIMEOUT 120
  WRAPPER ${CMAKE_SOURCE_DIR}/tools/testserver/with_server.sh --certs ${PLANNIX_TEST_CERTS}
          --root ${APP_RELEASE_FIXTURE}/release --port ${PLANNIX_PORT} --lifetime 100 --)
add_dependencies(app_version_check_test app_release_fixture add_root_ca)
set_tests_properties(wine.app_version_check_test PROPERTIES
  RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_RELEASE_FIXTURE=${APP_RELEASE_FIXTURE};PLANNIX_WINE_SETUP=wine $<TARGET_FILE:add_root_ca> Z:${PLANNIX_TEST_CERTS}/ca.der")
