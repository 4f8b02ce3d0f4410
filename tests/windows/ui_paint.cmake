# The window's pages: layout and pixel tests, the page gallery and the frame benchmark, all
# rendering the real paint_window under Wine.
set(UI_PAINT_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/helpers/embedded_resources_stub.cpp)
plannix_wine_test(ui_paint_test SOURCES ui_paint_test.cpp ${UI_PAINT_RESOURCES} TIMEOUT 180)
plannix_wine_helper(ui_gallery helpers/ui_gallery.cpp ${UI_PAINT_RESOURCES}
                    $<TARGET_OBJECTS:build_constants>)
