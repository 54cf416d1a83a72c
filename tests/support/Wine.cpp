#include "Wine.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
