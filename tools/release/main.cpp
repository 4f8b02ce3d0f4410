// plannix-release: the publisher's command-line tool.
//   plannix-release --help | -h | --version
//   plannix-release COMMAND [--help | -h] ARGUMENTS...
// Help goes to standard output with exit code 0; a usage error prints the usage to standard
// error with exit code 2; a failure exits 1 after one line saying what and where.
#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/release/commands.h"

namespace {

// A new command is one row: its name, its function, its command line and its usage text.
struct Command {
    const char* name;
    int (*run)(const ParsedArgs&);
    OptionRules rules;
    const char* synopsis;
    const char* description;
};

const Command kCommands[] = {
    {"keygen",
     cmd_keygen,
     {{}, {}, {}, 1},
     "keygen OUTDIR",
     "Makes the signing key pair: OUTDIR/private.pem (never overwritten) and OUTDIR/public.txt,\n"
     "the 88-character key that Setup is built to trust.\n"},
    {"pack",
     cmd_pack,
     {{"--key", "--version", "--date", "--exe", "--previous", "--expires-in"},
      {"--key", "--version"},
      {"--no-packs"},
      2},
     "pack --key PRIVATE.pem --version V [--date D] [--exe NAME] [--expires-in DAYS]\n"
     "       [--previous OLD_RELEASE_DIR]... [--no-packs] SOURCE_DIR RELEASE_DIR",
     "Packs every file under SOURCE_DIR into a signed release in RELEASE_DIR/plannix/app/,\n"
     "writing only the blobs it lacks. The version is free text. The manifest's sequence is\n"
     "one more than the site's highest (1 for a new site): Setup refuses a manifest older than\n"
     "the one it installed. With --expires-in, Setup refuses the manifest after DAYS days\n"
     "unless a refresh or a pack replaces it. The manifest and signature it replaces are kept\n"
     "in RELEASE_DIR/history/<their sequence>/. On a terminal it shows its progress.\n"
     "With --previous (repeatable; a release folder or a history entry), each changed file\n"
     "also gets a patch from its content in each earlier release, kept when smaller than 60%\n"
     "of its blob.\n"
     "The distinct files of each component also go into solid packs of at most 64 MiB under\n"
     "packs/, which a first installation fetches instead of the blobs; --no-packs leaves them "
     "out.\n"},
    {"refresh",
     cmd_refresh,
     {{"--key", "--expires-in"}, {"--key"}, {}, 1},
     "refresh --key PRIVATE.pem [--expires-in DAYS] RELEASE_DIR",
     "Signs the current release again with the same files and version, its sequence raised by\n"
     "one and the new expiry (none without --expires-in); the manifest it replaces goes to\n"
     "history. Refuses a manifest that the key did not sign.\n"},
    {"verify",
     cmd_verify,
     {{"--public-key", "--previous"}, {"--public-key"}, {}, 1},
     "verify --public-key KEY.txt [--previous OLD_RELEASE_DIR]... RELEASE_DIR",
     "Checks the release as Setup will: the signature, the manifest and its expiry, every\n"
     "blob, every pack and every patch, and names each file that would fail; reports the\n"
     "sequence and the expiry. With --previous (repeatable; a release folder or a history\n"
     "entry), each patch\n"
     "from a content those releases hold must also turn it into the new file exactly.\n"},
    {"diff",
     cmd_diff,
     {{}, {}, {"--json"}, 2},
     "diff [--json] OLD_RELEASE_DIR NEW_RELEASE_DIR",
     "What an update from OLD to NEW costs a user, per component: files changed, added and\n"
     "removed, and the bytes fetched with whole blobs, with the patches NEW offers, and with\n"
     "the packs Setup would choose; then what a first installation of NEW fetches.\n"
     "Either may be a history entry (RELEASE_DIR/history/<sequence>). --json prints the same\n"
     "as JSON.\n"},
    {"prune",
     cmd_prune,
     {{"--keep", "--public-key"}, {"--keep", "--public-key"}, {"--dry-run"}, 1},
     "prune --keep N --public-key KEY.txt [--dry-run] RELEASE_DIR",
     "Deletes the blobs, packs and patches that neither the current manifest nor the N highest\n"
     "sequences in history name, and the rest of the history; prints each deletion and the\n"
     "bytes freed.\n"
     "--dry-run only prints. Refuses a folder whose manifest does not verify with KEY.txt.\n"},
    {"compress",
     cmd_compress,
     {{}, {}, {}, 2},
     "compress IN OUT",
     "Compresses one file into one blob.\n"},
    {"unpack",
     cmd_unpack,
     {{}, {}, {}, 3},
     "unpack BLOB SIZE OUT",
     "Unpacks one blob of SIZE bytes with Setup's own decoder.\n"},
};

const char kTool[] = "plannix-release";

void print_usage(std::FILE* to) {
    std::fprintf(to, "usage: %s COMMAND ARGUMENTS...\n       %s --help | --version\n\n", kTool,
                 kTool);
    for (const Command& c : kCommands)
        std::fprintf(to, "  %s %s\n", kTool, c.synopsis);
    std::fprintf(to, "\n%s COMMAND --help describes one command.\n", kTool);
}

void print_command_usage(const Command& c, std::FILE* to) {
    std::fprintf(to, "usage: %s %s\n", kTool, c.synopsis);
    if (to == stdout) std::fprintf(to, "\n%s", c.description);
}

int run_command(const Command& c, int argc, char** argv) {
    if (asks_for_help(argc, argv)) {
        print_command_usage(c, stdout);
        return 0;
    }
    try {
        return c.run(parse_args(argc, argv, c.rules));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s %s: %s\n", kTool, c.name, e.what());
        print_command_usage(c, stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s %s: %s\n", kTool, c.name, e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        print_usage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", kTool, PLANNIX_RELEASE_TOOL_VERSION);
        return 0;
    }
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return run_command(c, argc - 2, argv + 2);
    std::fprintf(stderr, "%s: unknown command '%s'\n", kTool, argv[1]);
    print_usage(stderr);
    return 2;
}
