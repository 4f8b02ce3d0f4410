// plannix-release: the publisher's command-line tool.
#include <cstdio>
#include <cstring>

#include "tools/release/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
};

const Command kCommands[] = {
    {"keygen", cmd_keygen, "keygen OUTDIR"},
    {"pack", cmd_pack,
     "pack --key PRIVATE.pem --version V [--date D] [--exe NAME] [--previous OLD_RELEASE_DIR]... "
     "SOURCE_DIR RELEASE_DIR"},
    {"verify", cmd_verify,
     "verify --public-key KEY.txt [--previous OLD_RELEASE_DIR]... RELEASE_DIR"},
    {"diff", cmd_diff, "diff [--json] OLD_RELEASE_DIR NEW_RELEASE_DIR"},
    {"compress", cmd_compress, "compress IN OUT"},
    {"unpack", cmd_unpack, "unpack BLOB SIZE OUT"},
};

int usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Command& c : kCommands)
        std::fprintf(stderr, "  plannix-release %s\n", c.usage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "plannix-release: unknown command '%s'\n", argv[1]);
    return usage();
}
