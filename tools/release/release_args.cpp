#include "tools/release/release_args.h"

#include <algorithm>

bool parse_args(int argc, char** argv, const std::vector<std::string>& known, ParsedArgs& out,
                std::string& error) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (std::find(known.begin(), known.end(), arg) == known.end()) {
                error = "unknown option " + arg;
                return false;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out.options[arg] = argv[++i];
            out.repeated[arg].push_back(argv[i]);
        } else {
            out.positional.push_back(arg);
        }
    }
    return true;
}
