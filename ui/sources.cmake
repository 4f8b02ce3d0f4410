set(ui_PORTABLE page_rules.cpp input.cpp)
set(ui_WINDOWS window_proc.cpp commands.cpp embedded_resources.cpp draw.cpp pages.cpp paint.cpp)
