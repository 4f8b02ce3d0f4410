#pragma once
// How a record key or a manifest path names a file: parts separated by "/" or "\". Path syntax
// only, so the release tool shares it.
#include <string>
#include <vector>

// The parts of a relative path (UTF-8), split at "/" and "\", without empty parts and ".".
std::vector<std::string> split_relative_path(const std::string& path);
