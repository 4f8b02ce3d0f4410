#pragma once
// Background check of the version on offer and the download size of each component.
void version_check_main();
