#pragma once
// The subcommands of plannix-release; each returns the process exit code.
int cmd_keygen(int argc, char** argv);
int cmd_pack(int argc, char** argv);
int cmd_verify(int argc, char** argv);
int cmd_compress(int argc, char** argv);
int cmd_unpack(int argc, char** argv);
int cmd_diff(int argc, char** argv);
