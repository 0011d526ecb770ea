#pragma once

#include "OpenArchive.h"
#include "archive/IFolder.h"
#include "common/MyCom.h"

// Lets a user interface that supplies its own streams read properties of the current item.
class CGetProp : public IGetProp, public CMyUnknownImp {
public:
    const CArc *Arc;
    UInt32 IndexInArc;

    CGetProp() : Arc(nullptr), IndexInArc(0) {}

    COM_UNKNOWN_IMP(IGetProp)

    HRESULT GetProp(PROPID propID, PROPVARIANT *value) override {
        return Arc->handler->GetProperty(IndexInArc, propID, value);
    }
};
