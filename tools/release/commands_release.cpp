// Placeholder until these commands are built.
#include <cstdio>
#include "tools/release/commands.h"

int cmd_keygen(int, char**) { std::fprintf(stderr, "plannix-release: not built yet\n"); return 2; }
int cmd_pack(int, char**) { std::fprintf(stderr, "plannix-release: not built yet\n"); return 2; }
int cmd_verify(int, char**) { std::fprintf(stderr, "plannix-release: not built yet\n"); return 2; }
