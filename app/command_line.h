#pragma once
// The command line: switches, and the text handed to a temporary copy of Setup.
#include <string>
#include <vector>

// Applies the switches in `args` (element 0, the program path, already removed) to the run
// parameters of the shared state, left to right.
void parse_command_line(const std::vector<std::wstring>& args);

// "/update" or "/uninstall" by mode, then " /pid n" and " /auto" as set.
std::wstring handover_arguments();

// `arg` as one argument that CommandLineToArgvW splits back to exactly `arg`.
std::wstring quote_argument(const std::wstring& arg);
