#pragma once
// The application's shell shortcuts (Start menu, desktop).
#include <string>

// Writes the .lnk at `linkPath` to `target`: working folder the target's folder, icon the
// target's first, the fixed description. Failures are silent: the installation stays usable
// from its folder. COM must be initialised on the calling thread.
void create_shortcut(const std::wstring& linkPath, const std::wstring& target);
