#pragma once
// One small owner per kind of handle: each closes what it holds when it goes out of scope,
// so every path releases in the reverse order of acquisition.
#include <utility>

#include <windows.h>
#include <objbase.h> // CoTaskMemFree

template <typename T, typename Traits> class Owned {
  public:
    Owned() = default;
    explicit Owned(T value) : value_(value) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, Traits::invalid())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Traits::invalid()));
        return *this;
    }
    ~Owned() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }
    // For out-parameters: releases the current value first.
    T* put() {
        reset();
        return &value_;
    }
    // Gives the value up without closing it, to another owner.
    T release() { return std::exchange(value_, Traits::invalid()); }
    void reset(T value = Traits::invalid()) {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }

  private:
    T value_ = Traits::invalid();
};

struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
// A mutex this thread owns: released, then closed.
struct HeldMutexTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) {
        ReleaseMutex(h);
        CloseHandle(h);
    }
};
struct FileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY k) { RegCloseKey(k); }
};
struct CoTaskMemTraits {
    static PWSTR invalid() { return nullptr; }
    static void close(PWSTR text) { CoTaskMemFree(text); }
};
struct LibraryTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE m) { FreeLibrary(m); }
};

using KernelHandle = Owned<HANDLE, KernelHandleTraits>; // processes, threads, events
using FileHandle = Owned<HANDLE, FileHandleTraits>;     // CreateFileW
using HeldMutex = Owned<HANDLE, HeldMutexTraits>;       // a mutex waited for and owned
using FindHandle = Owned<HANDLE, FindHandleTraits>;     // FindFirstFileW
using RegKey = Owned<HKEY, RegKeyTraits>;
using Library = Owned<HMODULE, LibraryTraits>;
using CoTaskString = Owned<PWSTR, CoTaskMemTraits>; // strings the shell allocates for us

// COM interfaces: released, never closed.
template <typename I> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    I* get() const { return ptr_; }
    I* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    I** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (ptr_) ptr_->Release();
        ptr_ = nullptr;
    }

  private:
    I* ptr_ = nullptr;
};
