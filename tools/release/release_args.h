#pragma once
// Command-line options of the publisher's subcommands: "--name value" pairs and positionals.
#include <map>
#include <string>
#include <vector>

struct ParsedArgs {
    std::map<std::string, std::string> options;               // the last value of each option
    std::map<std::string, std::vector<std::string>> repeated; // every value, in order
    std::vector<std::string> positional;
};

// False (with `error` set) on an unknown option or an option without its value.
bool parse_args(int argc, char** argv, const std::vector<std::string>& known, ParsedArgs& out,
                std::string& error);
