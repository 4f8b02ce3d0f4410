#include "engine/fetch_stage.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "base/byte_counts.h"
#include "base/messages.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/manifest.h"
#include "engine/blob_cache.h"
#include "engine/file_replace.h"
#include "engine/pack_source.h"
#include "engine/patch_source.h"
#include "transport/hash.h"
#include "transport/transfer_control.h"

namespace {

// How often a transfer waiting for room in the budget looks again for a cancel or a failure.
constexpr auto kBudgetPoll = std::chrono::milliseconds(100);
// How often the worker looks for a cancel while the transfers run: well inside the second
// within which a cancel must end them.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

// Stopped: ended by a cancel or by another file's failure, not by anything of its own.
enum class Outcome { Pending, Staged, Failed, Stopped };

// One transfer: a file's own, or a pack's with every to-do file it holds.
struct Job {
    const ManifestPack* pack = nullptr;
    std::vector<Fetch> files; // one without a pack
    uint64_t charge = 0;      // of the budget, while it runs
    Outcome outcome = Outcome::Pending;
    std::wstring message; // of a failure; empty for one that threw (the damaged message)
    // Written only by the thread that claimed the job, as the work goes, so that a throw loses
    // none of it; read by others only once every transfer thread has ended.
    const ManifestFile* current = nullptr; // the file a failure is reported for
    std::vector<char> staged;              // per file of `files`
    std::vector<std::wstring> madeFolders;
};

// Shared by the transfer threads of one run and the worker that waits for them; `control` has
// its own lock, every member after `lock` is guarded by `lock`.
struct FetchRun {
    const HttpSession* net = nullptr;
    const std::vector<ManifestFile>* files = nullptr;
    uint64_t budget = kInFlightBudget;
    size_t fileCount = 0; // over all jobs
    // Stopped with `stop`, or by a cancel: ends the requests in flight; counts the progress.
    TransferControl control{&g_cancelRequested, &g_bytesDone};

    std::mutex lock;
    std::condition_variable freed; // budget given back, a stop, or a transfer thread ended
    std::vector<Job> jobs;         // packs, then the files in manifest order
    size_t next = 0;               // the next job to start
    size_t finished = 0;           // files of the finished jobs
    uint64_t held = 0;             // budget held by the transfers in flight
    bool stop = false;             // a failure or a cancel: start nothing more
    bool threw = false;            // a transfer thread threw outside any job's work
    size_t threadsEnded = 0;       // transfer threads that have left their loop
};

// Starts nothing more and ends every request in flight. Called without `run.lock` held.
void stop_run(FetchRun& run) {
    {
        std::lock_guard<std::mutex> hold(run.lock);
        run.stop = true;
        run.freed.notify_all();
    }
    run.control.stop();
}

// The blob path's peak, or the patch path's when that is more: old file, patch and result.
uint64_t charge_of(const Fetch& fetch) {
    const ManifestFile& file = *fetch.file;
    const uint64_t whole = saturating_add(file.csize, file.size);
    if (!fetch.patch) return whole;
    return std::max(whole,
                    saturating_add(saturating_add(fetch.oldSize, fetch.patch->size), file.size));
}

// A pack's peak is its blob and its content (members are staged straight from it); a member that
// falls back to its own blob or patch does so after the pack's memory is gone.
uint64_t charge_of(const Job& job) {
    uint64_t charge = 0;
    for (const Fetch& fetch : job.files)
        charge = std::max(charge, charge_of(fetch));
    if (!job.pack) return charge;
    return std::max(charge, saturating_add(job.pack->csize, job.pack->size));
}

// The file's content from its patch, or from its whole blob when there is none or the patch
// fails; then counted in the total as what it really fetched. Empty on success, else the
// whole blob's failure message. A stopped run fetches nothing more: a patch ended by a cancel
// does not fall back to the whole blob.
std::wstring obtain_content(const HttpSession& net, TransferControl& control, const Fetch& fetch,
                            std::vector<uint8_t>& content) {
    if (fetch.patch) {
        if (obtain_by_patch(net, *fetch.file, *fetch.patch, control, content)) return {};
        if (control.stopped_or_cancelled()) return kMsgCancelled;
        content.clear();
        g_bytesTotal.fetch_add(fetch.file->csize);
    }
    return obtain_blob(net, *fetch.file, control, content);
}

// "Скачивание i из n: path": i counts the finished files plus the one under way, path is the
// file most recently started (a pack's first). Called under the run's lock, so the two agree.
void publish_status(const FetchRun& run, const ManifestFile& lastStarted) {
    const size_t n = run.fileCount;
    const size_t i = std::min(run.finished + 1, n);
    set_status(L"Скачивание " + std::to_wstring(i) + L" из " + std::to_wstring(n) + L": " +
               wide_from_utf8(lastStarted.path));
}

// The next job once the budget has room for it; npos when there is nothing more to start.
size_t claim_job(FetchRun& run, const ManifestFile*& lastStarted) {
    std::unique_lock<std::mutex> hold(run.lock);
    for (;;) {
        if (g_cancelRequested.load()) run.stop = true;
        if (run.stop || run.next == run.jobs.size()) return std::string::npos;
        Job& job = run.jobs[run.next];
        job.charge = std::min(charge_of(job), run.budget);
        if (run.held <= run.budget - job.charge) {
            run.held += job.charge;
            lastStarted = job.files.front().file;
            publish_status(run, *lastStarted);
            return run.next++;
        }
        run.freed.wait_for(hold, kBudgetPoll);
    }
}

// A failure of the job's own stops the run at once; one that a stop caused is not the job's.
void finish_job(FetchRun& run, size_t index, std::wstring message,
                const ManifestFile* lastStarted) {
    bool failed = false;
    {
        std::lock_guard<std::mutex> hold(run.lock);
        Job& job = run.jobs[index];
        if (message.empty()) {
            job.outcome = Outcome::Staged;
        } else if (message == kMsgCancelled || run.control.stopped()) {
            job.outcome = Outcome::Stopped;
        } else {
            job.outcome = Outcome::Failed;
            failed = true;
        }
        job.message = std::move(message);
        run.held -= job.charge;
        run.finished += job.files.size();
        run.freed.notify_all();
        if (lastStarted) publish_status(run, *lastStarted);
    }
    if (failed) stop_run(run);
}

// The job's file `i` from its own patch or blob, staged. Empty on success, else the message.
std::wstring fetch_one(FetchRun& run, Job& job, size_t i) {
    const Fetch& fetch = job.files[i];
    job.current = fetch.file;
    std::vector<uint8_t> content;
    std::wstring message = obtain_content(*run.net, run.control, fetch, content);
    if (message.empty()) message = stage_file(*fetch.file, content, job.madeFolders);
    if (message.empty()) job.staged[i] = 1;
    return message;
}

// Stages each file of the pack's job whose member arrived good. Empty also when the pack
// failed: its files then come from their own patches or blobs. A failure to write is the
// file's, not the pack's: it is reported, nothing falls back.
std::wstring stage_from_pack(FetchRun& run, Job& job) {
    std::vector<uint8_t> content;
    std::vector<PackMember> members;
    if (!obtain_pack(*run.net, *job.pack, run.control, content) ||
        !split_pack(*run.files, *job.pack, content.size(), members))
        return {};
    std::unordered_map<std::string, const PackMember*> byContent;
    for (const PackMember& member : members)
        byContent.emplace((*run.files)[member.file].sha256, &member);
    for (size_t i = 0; i < job.files.size(); ++i) {
        const ManifestFile& file = *job.files[i].file;
        const auto found = byContent.find(file.sha256);
        if (found == byContent.end() || found->second->size != file.size) continue;
        const uint8_t* begin = content.data() + found->second->offset;
        // Each member is checked on its own, as its blob would have been.
        if (sha256_hex(begin, found->second->size) != file.sha256) continue;
        job.current = &file;
        const std::wstring message = stage_file(file, begin, found->second->size, job.madeFolders);
        if (!message.empty()) return message;
        job.staged[i] = 1;
    }
    return {};
}

// A pack's job: its members from the pack, then every file the pack did not give from its own
// patch or blob, counted in the total as fetched, as a failed patch is. A pack ended by a
// cancel or a stop gives way to nothing.
std::wstring fetch_pack(FetchRun& run, Job& job) {
    std::wstring message = stage_from_pack(run, job);
    if (!message.empty()) return message;
    for (size_t i = 0; i < job.files.size(); ++i) {
        if (job.staged[i]) continue;
        const Fetch& fetch = job.files[i];
        if (run.control.stopped_or_cancelled()) {
            job.current = fetch.file;
            return kMsgCancelled;
        }
        g_bytesTotal.fetch_add(fetch.patch ? fetch.patch->size : fetch.file->csize);
        message = fetch_one(run, job, i);
        if (!message.empty()) return message;
    }
    return {};
}

// One transfer after another until nothing is left to start. The blob and its content live
// only within one iteration, which is what the budget counts.
void fetch_loop(FetchRun& run, size_t& current) {
    const ManifestFile* lastStarted = nullptr;
    for (;;) {
        current = claim_job(run, lastStarted);
        if (current == std::string::npos) return;
        Job& job = run.jobs[current];
        const std::wstring message = job.pack ? fetch_pack(run, job) : fetch_one(run, job, 0);
        finish_job(run, current, message, lastStarted);
    }
}

// Each transfer thread's entry; it says when it has ended, whatever way.
void fetch_thread_main(FetchRun* run) {
    size_t current = std::string::npos;
    bool threw = false;
    try {
        fetch_loop(*run, current);
    } catch (...) {
        threw = true;
    }
    if (threw) {
        // Whatever threw (memory, most likely) fails the file it was working on, or, between
        // jobs, the run; the budget it held is not given back, and nothing more starts.
        {
            std::lock_guard<std::mutex> hold(run->lock);
            if (current != std::string::npos && run->jobs[current].outcome == Outcome::Pending)
                run->jobs[current].outcome = Outcome::Failed;
            else
                run->threw = true;
        }
        stop_run(*run);
    }
    std::lock_guard<std::mutex> hold(run->lock);
    ++run->threadsEnded;
    run->freed.notify_all();
}

// The worker's part while the transfer threads run: a cancel stops them at once, on any line,
// instead of after the chunk in progress.
void supervise(FetchRun& run, size_t threads) {
    std::unique_lock<std::mutex> hold(run.lock);
    while (run.threadsEnded < threads) {
        if (!run.stop && g_cancelRequested.load()) {
            hold.unlock();
            stop_run(run);
            hold.lock();
            continue;
        }
        run.freed.wait_for(hold, kCancelPoll);
    }
}

// Joins every thread it was given, whatever way the stage is left.
struct Joiner {
    std::vector<std::thread> threads;
    ~Joiner() {
        for (std::thread& t : threads)
            if (t.joinable()) t.join();
    }
};

// The message of the first failing file in manifest order; when none failed of its own but not
// everything was staged, a thread that threw between jobs blames the first file not staged
// (the message of memory running out), and otherwise it was a cancel. Takes the run's staged
// files and made folders away unless all staged.
std::wstring conclude(FetchRun& run, std::vector<std::wstring>& madeFolders) {
    // Files point into the manifest's list, so their order is the manifest's.
    const Job* first = nullptr;
    for (const Job& job : run.jobs)
        if (job.outcome == Outcome::Failed &&
            (!first || std::less<const ManifestFile*>()(job.current, first->current)))
            first = &job;
    std::wstring message;
    if (first)
        message = first->message.empty() ? msg_damaged(wide_from_utf8(first->current->path))
                                         : first->message;
    const auto notStaged = std::find_if(run.jobs.begin(), run.jobs.end(), [](const Job& job) {
        return job.outcome != Outcome::Staged;
    });
    if (message.empty() && notStaged != run.jobs.end())
        message = run.threw ? msg_damaged(wide_from_utf8(notStaged->files.front().file->path))
                            : kMsgCancelled;
    for (Job& job : run.jobs)
        madeFolders.insert(madeFolders.end(), job.madeFolders.begin(), job.madeFolders.end());
    if (message.empty()) return message;
    // A pack's job may have staged some of its files before it failed or was stopped.
    for (Job& job : run.jobs)
        for (size_t i = 0; i < job.files.size(); ++i)
            if (job.staged[i]) discard_staged(*job.files[i].file);
    remove_made_folders(std::move(madeFolders));
    madeFolders.clear();
    return message;
}

} // namespace

std::wstring fetch_and_stage(const HttpSession& net, const std::vector<ManifestFile>& files,
                             const std::vector<PackFetch>& packs, const std::vector<Fetch>& todo,
                             std::vector<std::wstring>& madeFolders) {
    FetchRun run;
    run.net = &net;
    run.files = &files;
    run.jobs.reserve(packs.size() + todo.size());
    for (const PackFetch& pack : packs) {
        if (pack.members.empty()) continue;
        run.jobs.emplace_back();
        run.jobs.back().pack = pack.pack;
        run.jobs.back().files = pack.members;
    }
    for (const Fetch& fetch : todo) {
        run.jobs.emplace_back();
        run.jobs.back().files.push_back(fetch);
    }
    for (Job& job : run.jobs) {
        job.current = job.files.front().file;
        job.staged.assign(job.files.size(), 0);
        run.budget = std::max(run.budget, charge_of(job));
        run.fileCount += job.files.size();
    }
    {
        Joiner joiner;
        const size_t wanted = std::min<size_t>(run.jobs.size(), kParallelFetches);
        try {
            joiner.threads.reserve(wanted);
            for (size_t t = 0; t < wanted; ++t)
                joiner.threads.emplace_back(fetch_thread_main, &run);
        } catch (const std::exception&) {
            // Fewer transfers at once, nothing worse: the threads that started go on.
        }
        if (joiner.threads.empty()) {
            fetch_thread_main(&run); // no thread to spare: a cancel is seen between chunks
        } else {
            supervise(run, joiner.threads.size());
        }
    }
    return conclude(run, madeFolders);
}
