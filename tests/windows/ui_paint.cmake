# The window's pages: layout and pixel tests, the page gallery and the frame benchmark, all
# rendering the real paint_window under Wine, with Setup's own resources (fonts, logo) linked in.
set(UI_PAINT_RESOURCES ${CMAKE_SOURCE_DIR}/resources/setup.rc)
plannix_wine_test(ui_paint_test SOURCES ui_paint_test.cpp ${UI_PAINT_RESOURCES} TIMEOUT 180)
plannix_wine_helper(ui_gallery helpers/ui_gallery.cpp ${UI_PAINT_RESOURCES}
                    $<TARGET_OBJECTS:build_constants>)
plannix_wine_helper(frame_bench helpers/frame_bench.cpp ${UI_PAINT_RESOURCES}
                    $<TARGET_OBJECTS:build_constants>)
# Start-up benchmark: the real setup.exe's time to its first painted frame (tools/gallery.sh).
plannix_wine_helper(first_frame helpers/first_frame.cpp ${UI_PAINT_RESOURCES}
                    $<TARGET_OBJECTS:build_constants>)
# The real window at rest: which ticks repaint.
plannix_wine_test(ui_repaint_test SOURCES ui_repaint_test.cpp ${UI_PAINT_RESOURCES} TIMEOUT 180)
