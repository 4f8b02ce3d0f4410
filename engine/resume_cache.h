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

// cache folder / (sha256 + ".lzms"); empty when there is no cache folder.
std::wstring resume_cache_path(const ManifestFile& file);

// Makes the folder a real one (a link in its place is deleted as a link, never entered) and
// deletes every entry that is not a blob of `manifest`, and every one under a blob's name that
// is a folder or a link. Errors are ignored: the cache is only ever an optimisation.
void prepare_resume_cache(const Manifest& manifest);

// Keeps a verified blob: written under a name of its own that nothing had, then moved over the
// blob's name, so whatever stood there (a link too) is replaced, never written through. A
// failed write leaves at most a stray file, which the next run's preparation deletes.
void keep_in_resume_cache(const ManifestFile& file, const std::string& blob);

// Deletes the folder, a link in its place as a link.
void delete_resume_cache();
