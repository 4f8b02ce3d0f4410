#pragma once
// The command line of the publisher's subcommands: "--name value" options, "--name" flags and
// a fixed number of positionals. A command line that breaks these rules is a UsageError, which
// the tool answers with the command's usage and exit code 2.
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OptionRules {
    std::vector<std::string> valued;   // "--name value"
    std::vector<std::string> required; // valued options that must be given
    std::vector<std::string> flags;    // "--name" alone
    size_t positional = 0;             // exactly this many
};

struct ParsedArgs {
    std::map<std::string, std::string> options;               // the last value of each option
    std::map<std::string, std::vector<std::string>> repeated; // every value, in order
    std::set<std::string> flags;
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return options.count(name) || flags.count(name); }
    // The option's value, or `fallback` when it is not given.
    std::string value(const std::string& name, const std::string& fallback = "") const;
};

// Throws UsageError on an unknown option, an option without its value, a missing required
// option or the wrong number of positionals.
ParsedArgs parse_args(int argc, char** argv, const OptionRules& rules);

// True when the arguments ask for help ("--help" or "-h" anywhere).
bool asks_for_help(int argc, char** argv);
