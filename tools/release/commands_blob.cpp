// Placeholder until these commands are built.
#include <cstdio>
#include "tools/release/commands.h"

int cmd_compress(int, char**) { std::fprintf(stderr, "plannix-release: not built yet\n"); return 2; }
int cmd_unpack(int, char**) { std::fprintf(stderr, "plannix-release: not built yet\n"); return 2; }
