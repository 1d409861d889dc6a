// The library's entry points: what the shell calls.
#pragma once

#include "platform/win32.h"

extern "C" {
BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);
HRESULT STDMETHODCALLTYPE DllCanUnloadNow();
HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
}
