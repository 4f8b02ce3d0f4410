# input.cpp moves the window's shared hover and press records, so it is built with the program.
set(ui_PORTABLE page_rules.cpp focus.cpp frame_elements.cpp)
set(ui_WINDOWS window_proc.cpp commands.cpp accessible.cpp embedded_resources.cpp draw.cpp
               component_rows.cpp pages.cpp paint.cpp input.cpp)
