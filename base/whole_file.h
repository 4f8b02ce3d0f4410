#pragma once
// Whole-file reading and the flushed write that a replacing move then puts in place: the one
// way Setup reads or writes a whole file.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// The file's bytes into `out`, sized once from the file's size and read in one pass; false when
// it cannot be opened or read.
bool read_whole_file(const std::filesystem::path& path, std::string& out);

// Hands the file's bytes to `take` in order, one piece of at most 1 MiB at a time, so that a
// file of any size is read in little memory; false when it cannot be opened or read.
bool read_in_pieces(const std::filesystem::path& path,
                    const std::function<void(const char*, size_t)>& take);

// Creates or truncates `path`, writes `data` and flushes it to disk before returning, so that a
// later move of this file over another leaves either the old or the complete new content.
bool write_file_flushed(const std::filesystem::path& path, const std::string& data);
// The same for a buffer of any kind (an unpacked file is written straight from its buffer).
bool write_file_flushed(const std::filesystem::path& path, const void* data, size_t size);

// Creates or truncates `path` and writes `data`, without waiting for the disk: for copies whose
// reader checks them anyway (a blob against its hash).
bool write_file(const std::filesystem::path& path, const void* data, size_t size);
// The same, but only into a new file: false when anything (a link too) has the name already.
bool write_new_file(const std::filesystem::path& path, const void* data, size_t size);

// Renames `from` over `to` within one volume, replacing `to`, and returns only once the
// rename is on disk (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
bool move_replacing(const std::filesystem::path& from, const std::filesystem::path& to);
