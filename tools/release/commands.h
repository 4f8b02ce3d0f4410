#pragma once
// The subcommands of plannix-release. Each gets its command line already checked against its
// row of the command table (main.cpp) and returns the exit code: 0 done, 1 failed (after one
// line on standard error saying what and where). A UsageError it throws means exit code 2.
#include "tools/release/release_args.h"

int cmd_keygen(const ParsedArgs& args);
int cmd_pack(const ParsedArgs& args);
int cmd_refresh(const ParsedArgs& args);
int cmd_verify(const ParsedArgs& args);
int cmd_prune(const ParsedArgs& args);
int cmd_compress(const ParsedArgs& args);
int cmd_unpack(const ParsedArgs& args);
int cmd_diff(const ParsedArgs& args);
