#pragma once
// Runs the real plannix-release (PLANNIX_RELEASE_TOOL) over real folders, for the tests of the
// publisher's tool.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

namespace release_test {

namespace fs = std::filesystem;

struct ToolRun {
    int status;
    std::string output; // stdout, with stderr too unless run_tool_split
    std::string errors; // stderr, from run_tool_split only
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void spit(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// `redirect` is the shell's redirection of standard error.
inline ToolRun run_tool_with(const std::string& arguments, const std::string& redirect) {
    const std::string command =
        std::string("'") + PLANNIX_RELEASE_TOOL + "' " + arguments + " " + redirect;
    ToolRun run{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

inline ToolRun run_tool(const std::string& arguments) {
    return run_tool_with(arguments, "2>&1");
}

// Standard output and standard error apart.
inline ToolRun run_tool_split(const std::string& arguments) {
    const fs::path errors = fs::temp_directory_path() /
                            ("plannix-release-stderr-" + std::to_string(::getpid()) + ".txt");
    ToolRun run = run_tool_with(arguments, "2>" + quoted(errors));
    run.errors = slurp(errors);
    std::error_code ec;
    fs::remove(errors, ec);
    return run;
}

inline std::string pseudo_random_bytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

} // namespace release_test
