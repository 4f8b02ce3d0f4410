#include "tools/release/release_freshness.h"

#include <ctime>

#include "catalogue/utc_time.h"

std::optional<int64_t> expiry_from_args(const ParsedArgs& args) {
    if (!args.has("--expires-in")) return std::nullopt;
    const std::string text = args.value("--expires-in");
    int64_t days = 0;
    bool digits = !text.empty() && text.size() <= 5;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        if (digits) days = days * 10 + (c - '0');
    }
    if (!digits || days < 1 || days > kMaxExpiryDays)
        throw UsageError("--expires-in needs a number of days from 1 to " +
                         std::to_string(kMaxExpiryDays) + ", got \"" + text + "\"");
    return static_cast<int64_t>(std::time(nullptr)) + days * 86400;
}

void stamp_manifest(nlohmann::json& doc, uint64_t sequence, const std::optional<int64_t>& expires) {
    doc["sequence"] = sequence;
    if (expires)
        doc["expires"] = format_utc_time(*expires);
    else
        doc.erase("expires");
}

std::string expiry_text(const std::optional<int64_t>& expires) {
    return expires ? format_utc_time(*expires) : "never";
}
