// The application shell's edges under Wine: a window that cannot be created, the end of the
// process while a detached thread writes, graphics adapters that report errors, and install
// folders that are not absolute.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <dxgi.h>

#include "base/handles.h"
#include "base/paths.h"
#include "app/startup.h"
#include "base/state.h"
#include "base/text.h"
#include "app/window_host.h"
#include "base/main_window.h"
#include "windows/test_files.h"

namespace {

TEST(WindowHost, ClassHasTheProgramsIconAndNothingElse) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    register_window_class(instance);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(instance, L"PlannixSetup", &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    // This program carries Setup's resources, so icon 1 is the one Setup shows.
    ASSERT_NE(FindResourceW(instance, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hIcon, LoadIconW(instance, MAKEINTRESOURCEW(1)));
    ASSERT_TRUE(UnregisterClassW(L"PlannixSetup", instance));
}

LRESULT CALLBACK refuse_creation(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) return FALSE;
    return DefWindowProcW(window, message, w, l);
}

// A window that cannot be created is reported, so no process is left with a message loop and no
// window.
TEST(WindowHost, AWindowThatCannotBeCreatedIsReportedSoNoLoopRuns) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // The class name taken first by a class whose windows refuse to be created.
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = refuse_creation;
    wc.hInstance = instance;
    wc.lpszClassName = L"PlannixSetup";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    g_runMode = Uninstall; // no version check thread
    EXPECT_FALSE(create_main_window(instance));
    EXPECT_EQ(g_mainWindow.load(), nullptr);
    g_runMode = Install;
}

// The process ends without destroying g_stateLock or the shared strings: the detached version check
// may still publish into them.
TEST(EndProcess, EndsWithItsCodeAndDestroysNothing) {
    const std::wstring probe = wide_from_utf8(test_file_path("PLANNIX_EXIT_PROBE", ""));
    ASSERT_FALSE(probe.empty());
    const std::wstring marker = temp_folder() + L"exit-probe-destroyed";
    DeleteFileW(marker.c_str());
    std::wstring line = L"\"" + probe + L"\" \"" + marker + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    KernelHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
        << "a static destructor ran at the end of the process";
}

// Adapters as a table: each entry either a vendor id or the error EnumAdapters1 reports.
struct FakeAdapter final : IDXGIAdapter1 {
    UINT vendor;
    UINT flags;
    ULONG refs = 1;
    FakeAdapter(UINT v, UINT f) : vendor(v), flags(f) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumOutputs(UINT, IDXGIOutput**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_ADAPTER_DESC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckInterfaceSupport(REFGUID, LARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1* desc) override {
        *desc = {};
        desc->VendorId = vendor;
        desc->Flags = flags;
        return S_OK;
    }
};

struct Slot {
    HRESULT result; // S_OK: an adapter of `vendor`
    UINT vendor;
    UINT flags;
};

struct FakeFactory final : IDXGIFactory1 {
    std::vector<Slot> slots;
    int calls = 0;
    explicit FakeFactory(std::vector<Slot> s) : slots(std::move(s)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdapters(UINT, IDXGIAdapter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MakeWindowAssociation(HWND, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWindowAssociation(HWND*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateSwapChain(IUnknown*, DXGI_SWAP_CHAIN_DESC*,
                                              IDXGISwapChain**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSoftwareAdapter(HMODULE, IDXGIAdapter**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumAdapters1(UINT index, IDXGIAdapter1** out) override {
        *out = nullptr;
        // A bound on the calls, so that a loop that never stops fails instead of hanging.
        if (++calls > 100 || index >= slots.size()) return DXGI_ERROR_NOT_FOUND;
        if (FAILED(slots[index].result)) return slots[index].result;
        *out = new FakeAdapter(slots[index].vendor, slots[index].flags);
        return S_OK;
    }
    BOOL STDMETHODCALLTYPE IsCurrent() override { return TRUE; }
};

TEST(GraphicsAdapters, EnumerationStopsAtTheFirstErrorOfAnyKind) {
    struct Case {
        const char* what;
        std::vector<Slot> slots;
        std::vector<uint32_t> vendors;
        int calls;
    };
    const Case cases[] = {
        {"software adapters are left out, duplicates kept",
         {{S_OK, 0x10DE, 0}, {S_OK, 0x1414, DXGI_ADAPTER_FLAG_SOFTWARE}, {S_OK, 0x10DE, 0}},
         {0x10DE, 0x10DE},
         4},
        {"an error other than not-found ends the list",
         {{S_OK, 0x1002, 0}, {E_OUTOFMEMORY, 0, 0}, {S_OK, 0x8086, 0}},
         {0x1002},
         2},
        {"an error that repeats for ever",
         std::vector<Slot>(200, {DXGI_ERROR_INVALID_CALL, 0, 0}),
         {},
         1},
    };
    for (const Case& c : cases) {
        FakeFactory factory(c.slots);
        EXPECT_EQ(gpu_vendors_of(&factory), c.vendors) << c.what;
        EXPECT_EQ(factory.calls, c.calls) << c.what;
    }
}

TEST(Paths, FolderOfKeepsTheRootAndOnlyAbsoluteFoldersCount) {
    const struct {
        const wchar_t* path;
        const wchar_t* folder;
        bool absolute; // of the path itself
    } cases[] = {
        {L"D:\\setup.exe", L"D:\\", true},
        {L"D:/setup.exe", L"D:/", true},
        {L"D:\\Apps\\setup.exe", L"D:\\Apps", true},
        {L"\\\\server\\share\\setup.exe", L"\\\\server\\share", true},
        {L"\\setup.exe", L"\\", false},
        {L"D:setup.exe", L"", false},
        {L"Kvartalis\\Plannix", L"Kvartalis", false},
        {L"setup.exe", L"", false},
        {L"", L"", false},
        {L"\\\\\\x", L"\\\\", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folder_of(c.path), c.folder) << utf8_from_wide(c.path);
        EXPECT_EQ(is_absolute_folder(c.path), c.absolute) << utf8_from_wide(c.path);
    }
}

TEST(Paths, ARelativeInstallFolderIsNeverUsed) {
    for (const wchar_t* given : {L"Plannix", L"..\\Plannix", L"D:Plannix", L"\\Plannix"}) {
        g_installDir = given;
        settle_install_dir(L"C:\\nowhere\\setup.exe");
        EXPECT_TRUE(is_absolute_folder(g_installDir)) << utf8_from_wide(given);
        EXPECT_FALSE(hand_over_to_temp_copy(temp_folder(), L"setup.exe")) << utf8_from_wide(given);
    }
    g_installDir = L"Plannix";
    EXPECT_FALSE(hand_over_to_temp_copy(temp_folder(), L"setup.exe"));
    g_installDir.clear();
}

} // namespace
