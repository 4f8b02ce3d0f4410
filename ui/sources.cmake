set(ui_PORTABLE)
set(ui_WINDOWS)
