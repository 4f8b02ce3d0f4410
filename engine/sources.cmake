set(engine_PORTABLE)
set(engine_WINDOWS setup_log.cpp install_pipeline.cpp)
