#pragma once

// Operation-level progress. Part of the binary contract with the plug-in: it compiles
// against these headers alone, so they include nothing of the core but the common base headers.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"

// 00 05
struct IProgress : public IUnknown {
    virtual HRESULT SetTotal(UInt64 total) = 0;
    // completeValue may be null: nothing new to report.
    virtual HRESULT SetCompleted(const UInt64 *completeValue) = 0;
};
