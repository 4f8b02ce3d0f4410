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
#include "transport/transfer_control.h"

namespace {

// How often a transfer waiting for room in the budget looks again for a cancel or a failure.
constexpr auto kBudgetPoll = std::chrono::milliseconds(100);
// How often the worker looks for a cancel while the transfers run: well inside the second
// within which a cancel must end them.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

// Stopped: ended by a cancel or by another file's failure, not by anything of its own.
enum class Outcome { Pending, Staged, Failed, Stopped };

struct Job {
    Fetch fetch;
    Outcome outcome = Outcome::Pending;
    std::wstring message; // of a failure; empty for one that threw (the damaged message)
    // Written only by the thread that claimed the job, as each folder is made, so that a throw
    // loses none; read by others only once every transfer thread has ended.
    std::vector<std::wstring> madeFolders;
};

// Shared by the transfer threads of one run and the worker that waits for them; `control` has
// its own lock, every member after `lock` is guarded by `lock`.
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
    TransferControl control; // stopped with `stop`: ends the requests in flight

    std::mutex lock;
    std::condition_variable freed; // budget given back, a stop, or a transfer thread ended
    std::vector<Job> jobs;         // manifest order
    size_t next = 0;               // the next job to start
    size_t finished = 0;
    uint64_t held = 0;        // budget held by the transfers in flight
    bool stop = false;        // a failure or a cancel: start nothing more
    bool threw = false;       // a transfer thread threw outside any file's work
    size_t threadsEnded = 0;  // transfer threads that have left their loop
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

// The file's content from its patch, or from its whole blob when there is none or the patch
// fails; then counted in the total as what it really fetched. Empty on success, else the
// whole blob's failure message. A stopped run fetches nothing more: a patch ended by a cancel
// does not fall back to the whole blob.
std::wstring obtain_content(const HttpSession& net, TransferControl& control, const Fetch& fetch,
                            std::vector<uint8_t>& content) {
    if (fetch.patch) {
        if (obtain_by_patch(net, *fetch.file, *fetch.patch, control, content)) return {};
        if (g_cancelRequested.load() || control.stopped()) return kMsgCancelled;
        content.clear();
        g_bytesTotal.fetch_add(fetch.file->csize);
    }
    return obtain_blob(net, *fetch.file, control, content);
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

// A failure of the file's own stops the run at once; one that a stop caused is not the file's.
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
        run.held -= std::min(charge_of(job.fetch), run.budget);
        ++run.finished;
        run.freed.notify_all();
        if (lastStarted) publish_status(run, *lastStarted);
    }
    if (failed) stop_run(run);
}

// One transfer after another until nothing is left to start. The blob and its content live
// only within one iteration, which is what the budget counts.
void fetch_loop(FetchRun& run, size_t& current) {
    const ManifestFile* lastStarted = nullptr;
    for (;;) {
        current = claim_job(run, lastStarted);
        if (current == std::string::npos) return;
        Job& job = run.jobs[current];
        std::wstring message;
        {
            std::vector<uint8_t> content;
            message = obtain_content(*run.net, run.control, job.fetch, content);
            if (message.empty()) message = stage_file(*job.fetch.file, content, job.madeFolders);
        }
        finish_job(run, current, std::move(message), lastStarted);
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
        // files, the run; the budget it held is not given back, and nothing more starts.
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
// everything was staged, a thread that threw between files blames the first file not staged
// (the message of memory running out), and otherwise it was a cancel. Takes the run's staged
// files and made folders away unless all staged.
std::wstring conclude(FetchRun& run, std::vector<std::wstring>& madeFolders) {
    std::wstring message;
    for (const Job& job : run.jobs) {
        if (job.outcome != Outcome::Failed) continue;
        message =
            job.message.empty() ? msg_damaged(wide_from_utf8(job.fetch.file->path)) : job.message;
        break;
    }
    const auto notStaged = std::find_if(run.jobs.begin(), run.jobs.end(), [](const Job& job) {
        return job.outcome != Outcome::Staged;
    });
    if (message.empty() && notStaged != run.jobs.end())
        message = run.threw ? msg_damaged(wide_from_utf8(notStaged->fetch.file->path))
                            : kMsgCancelled;
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
        const size_t wanted = std::min<size_t>(todo.size(), kParallelFetches);
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
