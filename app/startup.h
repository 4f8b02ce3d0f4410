#pragma once
// Start-up of the process: from the command line to the end of the message loop.
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>
#include <dxgi.h>

// The whole run of the process; returns its exit code (always 0).
int run_setup(HINSTANCE instance);
// Ends the process with `code` without destroying any record a background thread may touch.
[[noreturn]] void end_process(int code);

// Pieces of start-up, in the order they run; the graphics adapters (below) are enumerated on
// a thread of their own from the start until the components are suggested.
void read_command_line();
void delete_stale_temp_copies(const std::wstring& tempDir, const std::wstring& ownPath);
void find_existing_installation();
void settle_install_dir(const std::wstring& ownPath);
// Hands the job to a temporary copy when running from the install folder; true when the copy
// was started and this process is to end.
bool hand_over_to_temp_copy(const std::wstring& tempDir, const std::wstring& ownPath);
std::vector<uint32_t> detect_gpu_vendors();
// detect_gpu_vendors as the entry of its own thread: never throws; empty on any failure.
void scan_gpu_vendors(std::vector<uint32_t>& vendors) noexcept;
// The hardware adapters' vendor ids, in enumeration order, until the first error.
std::vector<uint32_t> gpu_vendors_of(IDXGIFactory1* factory);
