set(engine_PORTABLE)
set(engine_WINDOWS)
