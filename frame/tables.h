// The registration tables handed to the host, and the library instance.
#pragma once

#include "extcomp.h"

#define ZQ_VISIBLE __attribute__((visibility("default")))
#define ZQ_EXPORT extern "C" ZQ_VISIBLE

const qlong kObjMain = 1001;
const qlong kObjScope = 1002;
const qlong kResLibInfo = 1000;
const qlong kResLibName = 5000;
const qlong kResFirstConstant = 5001;
const qlong kResLastConstant = 5038;
const qlong kMainMethodCount = 27;
const qlong kScopeMethodCount = 2;
const qlong kStaticMethodCount = 7;
const qlong kObjectCount = 2;

extern "C" {
ZQ_VISIBLE extern const ECOobject objectsTable[];
ZQ_VISIBLE extern const ECOmethodEvent ZQObjMethodsTable[];
ZQ_VISIBLE extern const ECOmethodEvent ZQObjScopeMethodsTable[];
ZQ_VISIBLE extern const ECOparam MethodsParamsTable[];
ZQ_VISIBLE extern const ECOparam ScopeMethodsParamsTable[];
ZQ_VISIBLE extern const ECOmethodEvent gStaticMethods[];
}

// Entry points of the module.
ZQ_EXPORT qlong ZQWndProc(HWND hwnd, qlong message, WPARAM wParam, LPARAM lParam,
                          EXTCompInfo* eci) noexcept;
ZQ_EXPORT void __ExtInitialize(const char* modulePath) noexcept;
ZQ_EXPORT void __ExtTerminate() noexcept;
ZQ_EXPORT qlong __ExtDAMInitialize() noexcept;

// The library instance recorded by __ExtInitialize.
extern HINSTANCE gInstLib;
