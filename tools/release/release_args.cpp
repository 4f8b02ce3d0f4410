#include "tools/release/release_args.h"

#include <algorithm>
#include <cstring>

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::string ParsedArgs::value(const std::string& name, const std::string& fallback) const {
    const auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

ParsedArgs parse_args(int argc, char** argv, const OptionRules& rules) {
    ParsedArgs out;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (listed(rules.flags, arg)) {
                out.flags.insert(arg);
                continue;
            }
            if (!listed(rules.valued, arg)) throw UsageError("unknown option " + arg);
            if (i + 1 >= argc) throw UsageError(arg + " needs a value");
            out.options[arg] = argv[++i];
            out.repeated[arg].push_back(argv[i]);
        } else {
            out.positional.push_back(arg);
        }
    }
    for (const std::string& name : rules.required)
        if (!out.options.count(name)) throw UsageError(name + " is required");
    if (out.positional.size() != rules.positional)
        throw UsageError("expected " + std::to_string(rules.positional) + " operand" +
                         (rules.positional == 1 ? "" : "s") + ", got " +
                         std::to_string(out.positional.size()));
    return out;
}

bool asks_for_help(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    return false;
}
