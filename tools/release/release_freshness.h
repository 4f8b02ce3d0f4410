#pragma once
// The keys of a manifest that let Setup refuse a replayed or frozen one: "sequence", raised by
// one with every publication, and the optional "expires".
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/release/release_args.h"

// The longest expiry --expires-in takes, in days: a century, well inside the years that the
// manifest's time form can write.
constexpr int64_t kMaxExpiryDays = 36500;

// The moment `--expires-in DAYS` names, DAYS from now; none when the option is not given.
// Throws UsageError unless DAYS is a whole number from 1 to kMaxExpiryDays.
std::optional<int64_t> expiry_from_args(const ParsedArgs& args);

// Sets the document's "sequence", and its "expires" (removed when there is none).
void stamp_manifest(nlohmann::json& doc, uint64_t sequence, const std::optional<int64_t>& expires);

// "YYYY-MM-DDTHH:MM:SSZ", or "never".
std::string expiry_text(const std::optional<int64_t>& expires);
