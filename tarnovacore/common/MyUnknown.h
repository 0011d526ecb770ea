#pragma once

// The root of every COM-style interface. The slot order (QueryInterface, AddRef, Release, then the
// virtual destructor, which takes two vtable entries) is part of the binary contract with the plug-in.
#include "MyWindows.h"

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void **outObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual ~IUnknown() {}
};
