#pragma once
// The resume cache: every blob a run has downloaded and verified is also kept in the temporary
// folder ("plannix-setup-cache", named like "update-cache": sha256 + ".lzms"), so that a run that
// fails, is cancelled or killed leaves its successor only the rest to fetch. It never holds more
// than one release's blobs and is deleted after a successful run.
#include <string>

struct Manifest;
struct ManifestFile;

// The folder; empty when there is no temporary folder (the cache is then not used).
std::wstring resume_cache_folder();

// cache folder / (sha256 + ".lzms"); empty when there is no cache folder. A pack is kept like a
// file's blob, under the hash of its uncompressed bytes.
std::wstring resume_cache_path(const std::string& sha256);
std::wstring resume_cache_path(const ManifestFile& file);

// Makes the folder a real one (a link in its place is deleted as a link, never entered) and
// deletes every entry that is not a blob or pack of `manifest` or the start of one, and every one
// under such a name that is a folder or a link. Errors are ignored: the cache is only ever an
// optimisation.
void prepare_resume_cache(const Manifest& manifest);

// Keeps a verified blob or pack: written under a name of its own that nothing had, then moved
// over its name, so whatever stood there (a link too) is replaced, never written through. A
// failed write leaves at most a stray file, which the next run's preparation deletes.
void keep_in_resume_cache(const std::string& sha256, const std::string& blob);

// The start of a transfer that broke in an earlier run, kept under sha256 + ".part"; empty when
// there is none, it is not a plain file, or it is not shorter than `csize` (it could not be the
// start of that blob).
std::string partial_transfer(const std::string& sha256, uint64_t csize);
// Keeps the start of a broken transfer for the next run, written like a verified blob; a failed
// write only loses the head start.
void keep_partial_transfer(const std::string& sha256, const std::string& start);
void drop_partial_transfer(const std::string& sha256);

// Deletes the folder, a link in its place as a link.
void delete_resume_cache();
