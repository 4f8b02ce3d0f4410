set(ui_PORTABLE page_rules.cpp)
set(ui_WINDOWS window_proc.cpp embedded_resources.cpp draw.cpp pages.cpp paint.cpp)
