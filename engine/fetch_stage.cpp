#include "engine/fetch_stage.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/byte_counts.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/manifest.h"
#include "engine/blob_cache.h"
#include "engine/file_replace.h"
#include "engine/patch_source.h"

namespace {

// How often a transfer waiting for room in the budget looks again for a cancel or a failure.
constexpr auto kBudgetPoll = std::chrono::milliseconds(100);

enum class Outcome { Pending, Staged, Failed };

struct Job {
    Fetch fetch;
    Outcome outcome = Outcome::Pending;
    std::wstring message; // of a failure; empty for one that threw (the damaged message)
    std::vector<std::wstring> madeFolders;
};

// Shared by the transfer threads of one run; every member after `lock` is guarded by it.
struct FetchRun {
    explicit FetchRun(const std::vector<Fetch>& todo) {
        jobs.reserve(todo.size());
        for (const Fetch& fetch : todo) {
            Job job;
            job.fetch = fetch;
            jobs.push_back(std::move(job));
        }
    }
    const HttpSession* net = nullptr;
    uint64_t budget = kInFlightBudget;

    std::mutex lock;
    std::condition_variable freed; // budget given back, or a stop
    std::vector<Job> jobs;         // manifest order
    size_t next = 0;               // the next job to start
    size_t finished = 0;
    uint64_t held = 0; // budget held by the transfers in flight
    bool stop = false; // a failure or a cancel: start nothing more
};

// The blob path's peak, or the patch path's when that is more: old file, patch and result.
uint64_t charge_of(const Fetch& fetch) {
    const ManifestFile& file = *fetch.file;
    const uint64_t whole = saturating_add(file.csize, file.size);
    if (!fetch.patch) return whole;
    return std::max(whole,
                    saturating_add(saturating_add(fetch.oldSize, fetch.patch->size), file.size));
}

// The file's content from its patch, or from its whole blob when there is none or the patch
// fails; then counted in the total as what it really fetched. Empty on success, else the
// whole blob's failure message.
std::wstring obtain_content(const HttpSession& net, const Fetch& fetch,
                            std::vector<uint8_t>& content) {
    if (fetch.patch) {
        if (obtain_by_patch(net, *fetch.file, *fetch.patch, content)) return {};
        content.clear();
        g_bytesTotal.fetch_add(fetch.file->csize);
    }
    return obtain_blob(net, *fetch.file, content);
}

// "Скачивание i из n: path": i counts the finished files plus the one under way, path is the
// file most recently started. Called under the run's lock, so the two agree.
void publish_status(const FetchRun& run, const ManifestFile& lastStarted) {
    const size_t n = run.jobs.size();
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
        const uint64_t charge = std::min(charge_of(run.jobs[run.next].fetch), run.budget);
        if (run.held <= run.budget - charge) {
            run.held += charge;
            lastStarted = run.jobs[run.next].fetch.file;
            publish_status(run, *lastStarted);
            return run.next++;
        }
        run.freed.wait_for(hold, kBudgetPoll);
    }
}

void finish_job(FetchRun& run, size_t index, std::wstring message,
                std::vector<std::wstring> madeFolders, const ManifestFile* lastStarted) {
    std::lock_guard<std::mutex> hold(run.lock);
    Job& job = run.jobs[index];
    job.outcome = message.empty() ? Outcome::Staged : Outcome::Failed;
    job.message = std::move(message);
    job.madeFolders = std::move(madeFolders);
    run.held -= std::min(charge_of(job.fetch), run.budget);
    ++run.finished;
    if (job.outcome == Outcome::Failed) run.stop = true;
    if (lastStarted) publish_status(run, *lastStarted);
    run.freed.notify_all();
}

// One transfer after another until nothing is left to start. The blob and its content live
// only within one iteration, which is what the budget counts.
void fetch_loop(FetchRun& run, size_t& current) {
    const ManifestFile* lastStarted = nullptr;
    for (;;) {
        current = claim_job(run, lastStarted);
        if (current == std::string::npos) return;
        const Fetch& fetch = run.jobs[current].fetch;
        const ManifestFile& file = *fetch.file;
        std::vector<std::wstring> madeFolders;
        std::wstring message;
        {
            std::vector<uint8_t> content;
            message = obtain_content(*run.net, fetch, content);
            if (message.empty()) message = stage_file(file, content, madeFolders);
        }
        finish_job(run, current, std::move(message), std::move(madeFolders), lastStarted);
    }
}

// Each transfer thread's entry, and the worker's own share of the transfers.
void fetch_thread_main(FetchRun* run) {
    size_t current = std::string::npos;
    try {
        fetch_loop(*run, current);
    } catch (...) {
        // Whatever threw (memory, most likely) fails the file it was working on; the budget it
        // held is not given back, so nothing more starts, and the run reports that file.
        std::lock_guard<std::mutex> hold(run->lock);
        if (current != std::string::npos && run->jobs[current].outcome == Outcome::Pending)
            run->jobs[current].outcome = Outcome::Failed;
        run->stop = true;
        run->freed.notify_all();
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

// The message of the first failing file in manifest order; a cancel when nothing failed but not
// everything was staged. Takes the run's staged files and made folders away unless all staged.
std::wstring conclude(FetchRun& run, std::vector<std::wstring>& madeFolders) {
    std::wstring message;
    for (const Job& job : run.jobs) {
        if (job.outcome != Outcome::Failed) continue;
        message =
            job.message.empty() ? msg_damaged(wide_from_utf8(job.fetch.file->path)) : job.message;
        break;
    }
    const bool allStaged = std::all_of(run.jobs.begin(), run.jobs.end(), [](const Job& job) {
        return job.outcome == Outcome::Staged;
    });
    if (message.empty() && !allStaged) message = kMsgCancelled;
    for (Job& job : run.jobs)
        madeFolders.insert(madeFolders.end(), job.madeFolders.begin(), job.madeFolders.end());
    if (message.empty()) return message;
    for (Job& job : run.jobs)
        if (job.outcome == Outcome::Staged) discard_staged(*job.fetch.file);
    remove_made_folders(std::move(madeFolders));
    madeFolders.clear();
    return message;
}

} // namespace

std::wstring fetch_and_stage(const HttpSession& net, const std::vector<Fetch>& todo,
                             std::vector<std::wstring>& madeFolders) {
    FetchRun run(todo);
    run.net = &net;
    for (const Fetch& fetch : todo)
        run.budget = std::max(run.budget, charge_of(fetch));
    {
        Joiner joiner;
        const size_t helpers =
            std::min<size_t>(todo.size(), kParallelFetches) - (todo.empty() ? 0 : 1);
        try {
            joiner.threads.reserve(helpers);
            for (size_t t = 0; t < helpers; ++t)
                joiner.threads.emplace_back(fetch_thread_main, &run);
        } catch (const std::exception&) {
            // Fewer transfers at once, nothing worse: the threads that started go on.
        }
        fetch_thread_main(&run);
    }
    return conclude(run, madeFolders);
}
