// A stand-in for the application in demo releases: a Windows program that says what it is.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, L"Демонстрационная сборка Планикса: её установил Setup.",
                L"Планикс — Кварталис", MB_OK | MB_ICONINFORMATION);
    return 0;
}
