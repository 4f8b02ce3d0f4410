# The window's input and commands: the real window procedure driven with messages under Wine.
plannix_wine_helper(launch_probe helpers/launch_probe.cpp)
plannix_wine_test(ui_input_test SOURCES ui_input_test.cpp TIMEOUT 120)
add_dependencies(ui_input_test launch_probe)
