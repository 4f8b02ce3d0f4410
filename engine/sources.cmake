set(engine_PORTABLE)
set(engine_WINDOWS install_pipeline.cpp signed_manifest.cpp version_check.cpp blob_cache.cpp
                   resume_cache.cpp patch_source.cpp pack_source.cpp fetch_stage.cpp
                   file_replace.cpp running_app.cpp obsolete_files.cpp shortcut.cpp
                   uninstall_entry.cpp)
