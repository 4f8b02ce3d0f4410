#include "transaction/swap.h"

#include <algorithm>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "base/folders_on_the_way.h"
#include "base/held_files.h"
#include "base/link_safe_delete.h"
#include "base/whole_file.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/text.h"
#include "catalogue/file_names.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "transport/hash.h"

namespace {

constexpr const wchar_t* kJournalName = L"journal.json";
constexpr const wchar_t* kJournalTempName = L"journal.json.tmp";
constexpr const wchar_t* kAsideSuffix = L".old";

std::wstring local(const std::wstring& dir, const std::string& relative) {
    return join_path(dir, wide_from_utf8(relative));
}

// Where step `index` keeps the file it replaces.
std::wstring aside_path(const std::wstring& dir, size_t index) {
    return join_path(swap_folder(dir), std::to_wstring(index) + kAsideSuffix);
}

DWORD attributes_of(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

bool exists(const std::wstring& path) {
    return attributes_of(path) != INVALID_FILE_ATTRIBUTES;
}

// Journal --------------------------------------------------------------------------------------

std::string journal_text(const SwapPlan& plan) {
    nlohmann::json steps = nlohmann::json::array();
    for (const SwapStep& step : plan.steps)
        steps.push_back({{"existed", step.existed},
                         {"path", step.path},
                         {"sha256", step.sha256},
                         {"staged", step.staged}});
    nlohmann::json journal = {{"folders", plan.madeFolders},
                              {"record", plan.record},
                              {"steps", std::move(steps)}};
    return journal.dump(1, ' ', false);
}

// Flushed and moved into place, so that a journal on disk is always whole.
bool write_journal(const std::wstring& dir, const SwapPlan& plan) {
    try {
        const std::wstring folder = swap_folder(dir);
        const std::wstring temp = join_path(folder, kJournalTempName);
        return write_file_flushed(temp, journal_text(plan)) &&
               move_replacing(temp, join_path(folder, kJournalName));
    } catch (const std::exception&) {
        return false; // no memory for the text
    }
}

// A path of a journal: relative, inside the install folder, and reached without a link.
bool is_safe_path(const std::wstring& dir, const std::string& relative) {
    return is_acceptable_manifest_path(relative) && !has_link_on_the_way(dir, relative);
}

// The journal of the swap folder; false when there is none or it is not one this program wrote
// (its paths must stay inside the install folder).
bool read_journal(const std::wstring& dir, SwapPlan& plan) {
    std::string text;
    if (!read_whole_file(join_path(swap_folder(dir), kJournalName), text)) return false;
    try {
        const nlohmann::json journal = nlohmann::json::parse(text);
        plan.record = journal.at("record").get<std::string>();
        plan.madeFolders = journal.at("folders").get<std::vector<std::string>>();
        for (const nlohmann::json& item : journal.at("steps")) {
            SwapStep step;
            step.path = item.at("path").get<std::string>();
            step.staged = item.at("staged").get<std::string>();
            step.sha256 = item.at("sha256").get<std::string>();
            step.existed = item.at("existed").get<bool>();
            if (!is_safe_path(dir, step.path) ||
                (!step.staged.empty() && !is_safe_path(dir, step.staged)))
                return false;
            plan.steps.push_back(std::move(step));
        }
        for (const std::string& folder : plan.madeFolders)
            if (!is_safe_path(dir, folder)) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Steps ----------------------------------------------------------------------------------------

// One step forward; safe to repeat on a step already done (a finished swap after a kill).
// Empty on success, else the message naming the file.
std::wstring apply_step(const std::wstring& dir, size_t index, const SwapStep& step,
                        const std::atomic<bool>& cancel) {
    const std::wstring target = local(dir, step.path);
    const std::wstring aside = aside_path(dir, index);
    if (step.staged.empty()) {
        // An obsolete file: only what is still a file of ours is set aside.
        if (!is_plain_file(target) || has_link_on_the_way(dir, step.path)) return {};
        return move_file(target, aside, &cancel) ? std::wstring() : msg_file_busy(target);
    }
    const std::wstring staged = local(dir, step.staged);
    if (!exists(staged)) return {}; // moved in already
    const DWORD a = attributes_of(target);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return msg_cannot_write(target);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        // Where the old release had a folder: empty now that its files are set aside, unless it
        // holds something of the user's.
        if (!RemoveDirectoryW(target.c_str())) return msg_cannot_write(target);
    } else if (a != INVALID_FILE_ATTRIBUTES) {
        if (exists(aside) || !move_file(target, aside, &cancel)) return msg_file_busy(target);
    }
    if (!make_folders_on_the_way(dir, step.path)) return msg_cannot_write(target);
    return move_file(staged, target, &cancel) ? std::wstring() : msg_file_busy(target);
}

// One step back; safe on a step never done or already undone. False when something could not
// be put back (held beyond the retry): the journal then stays for the next start to finish.
bool undo_step(const std::wstring& dir, size_t index, const SwapStep& step) {
    const std::wstring target = local(dir, step.path);
    const std::wstring aside = aside_path(dir, index);
    bool ok = true;
    if (!step.staged.empty()) {
        const std::wstring staged = local(dir, step.staged);
        if (exists(staged)) {
            ok = delete_file(staged);
        } else if (is_plain_file(target) && (exists(aside) || !step.existed)) {
            ok = delete_file(target); // the new file: the old one is aside, or there was none
        }
    }
    if (!exists(aside)) return ok;
    // A folder the swap made where this file stood.
    if (is_real_folder(target)) RemoveDirectoryW(target.c_str());
    if (!make_folders_on_the_way(dir, step.path)) return false;
    return move_file(aside, target) && ok;
}

void remove_made_folders(const std::wstring& dir, std::vector<std::string> folders) {
    // A folder's path is longer than that of every folder above it.
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders)
        RemoveDirectoryW(local(dir, folder).c_str());
}

// Everything back in reverse order; the swap folder goes only when all is back.
void undo_swap(const std::wstring& dir, const SwapPlan& plan) {
    bool all = true;
    for (size_t i = plan.steps.size(); i-- > 0;)
        all = undo_step(dir, i, plan.steps[i]) && all;
    remove_made_folders(dir, plan.madeFolders);
    if (all) delete_tree(swap_folder(dir));
}

// After the record: the swap folder goes with the old files and the journal (a journal left
// by a kill here finds its record written and only cleans up), then the folders the obsolete
// files leave empty. Failures only leave leftovers for the next start to delete.
void commit_swap(const std::wstring& dir, const SwapPlan& plan) {
    delete_tree(swap_folder(dir));
    for (const SwapStep& step : plan.steps)
        if (step.staged.empty()) delete_recorded_file(dir, step.path); // the folders above
}

bool hashes_to(const std::wstring& path, const std::string& sha256) {
    std::string bytes;
    return read_whole_file(path, bytes) && sha256_hex(bytes.data(), bytes.size()) == sha256;
}

// Every new file still there whole, staged or moved in.
bool can_go_forward(const std::wstring& dir, const SwapPlan& plan) {
    for (const SwapStep& step : plan.steps) {
        if (step.staged.empty()) continue;
        const std::wstring staged = local(dir, step.staged);
        if (!hashes_to(exists(staged) ? staged : local(dir, step.path), step.sha256)) return false;
    }
    return true;
}

std::string record_on_disk(const std::wstring& dir) {
    std::string text;
    if (!read_whole_file(join_path(dir, kRecordFileName), text)) text.clear();
    return text;
}

} // namespace

std::wstring swap_folder(const std::wstring& dir) {
    return join_path(dir, kSwapFolderName);
}

std::wstring run_swap(const std::wstring& dir, const SwapPlan& plan,
                      const std::atomic<bool>& cancel) {
    const std::wstring folder = swap_folder(dir);
    // Files set aside into a link would land wherever it leads.
    if (is_link(folder)) delete_if_link(folder);
    if (!exists(folder)) CreateDirectoryW(folder.c_str(), nullptr);
    if (!is_real_folder(folder) || !write_journal(dir, plan)) {
        undo_swap(dir, plan);
        return msg_cannot_write(folder);
    }
    std::wstring message;
    for (size_t i = 0; i < plan.steps.size() && message.empty(); ++i) {
        if (cancel.load()) message = kMsgCancelled;
        if (message.empty()) message = apply_step(dir, i, plan.steps[i], cancel);
        if (!message.empty() && cancel.load()) message = kMsgCancelled;
    }
    // The last moment a cancel can undo the run.
    if (message.empty() && cancel.load()) message = kMsgCancelled;
    if (message.empty() && !write_install_record_text(dir, plan.record))
        message = msg_cannot_write(join_path(dir, kRecordFileName));
    if (!message.empty()) {
        undo_swap(dir, plan);
        return message;
    }
    commit_swap(dir, plan);
    return {};
}

bool finish_interrupted_swap(const std::wstring& dir) {
    const std::wstring folder = swap_folder(dir);
    if (!exists(folder)) return false;
    if (is_link(folder)) {
        delete_if_link(folder);
        return false;
    }
    const std::wstring journal = join_path(folder, kJournalName);
    if (!exists(journal)) {
        // A swap that never began: staged files of a run that died before it.
        delete_tree(folder);
        return false;
    }
    SwapPlan plan;
    // A journal this program cannot read is left alone with what it describes: guessing could
    // only lose files.
    if (!read_journal(dir, plan)) return false;
    const bool recorded = record_on_disk(dir) == plan.record;
    if (recorded || can_go_forward(dir, plan)) {
        const std::atomic<bool> never{false};
        bool done = true;
        for (size_t i = 0; i < plan.steps.size() && done; ++i)
            done = apply_step(dir, i, plan.steps[i], never).empty();
        if (done && (recorded || write_install_record_text(dir, plan.record))) {
            commit_swap(dir, plan);
            return true;
        }
    }
    undo_swap(dir, plan);
    return false;
}
