#include "PropVariant.h"

namespace NWindows {
namespace NCOM {

static const char *const kMemException = "out of memory";

BSTR AllocBstrFromAscii(const char *s) throw() {
    if (!s) return nullptr;
    const UINT len = (UINT)strlen(s);
    BSTR p = ::SysAllocStringLen(nullptr, len);
    if (p) {
        for (UINT i = 0; i <= len; i++)
            p[i] = (Byte)s[i];
    }
    return p;
}

static bool IsPlainType(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_FILETIME:
        return true;
    default:
        return false;
    }
}

HRESULT PropVariant_Clear(PROPVARIANT *p) throw() {
    if (p->vt == VT_EMPTY || IsPlainType(p->vt)) {
        memset(p, 0, sizeof(*p));
        return S_OK;
    }
    return ::VariantClear((VARIANTARG *)p);
}

static HRESULT SetOutOfMemory(PROPVARIANT *p) {
    p->vt = VT_ERROR;
    p->scode = E_OUTOFMEMORY;
    return E_OUTOFMEMORY;
}

HRESULT PropVarEm_Alloc_Bstr(PROPVARIANT *p, unsigned numChars) throw() {
    p->bstrVal = ::SysAllocStringLen(nullptr, numChars);
    if (!p->bstrVal) return SetOutOfMemory(p);
    p->vt = VT_BSTR;
    return S_OK;
}

HRESULT PropVarEm_Set_Str(PROPVARIANT *p, const char *s) throw() {
    p->bstrVal = AllocBstrFromAscii(s);
    if (!p->bstrVal) return SetOutOfMemory(p);
    p->vt = VT_BSTR;
    return S_OK;
}

CPropVariant::CPropVariant(const PROPVARIANT &src) : tagPROPVARIANT() {
    vt = VT_EMPTY;
    InternalCopy(&src);
}

CPropVariant::CPropVariant(const CPropVariant &src) : tagPROPVARIANT() {
    vt = VT_EMPTY;
    InternalCopy(&src);
}

CPropVariant::CPropVariant(LPCOLESTR s) : tagPROPVARIANT() {
    vt = VT_EMPTY;
    *this = s;
}

void CPropVariant::SetOutOfMemoryAndThrow() {
    SetOutOfMemory(this);
    throw kMemException;
}

CPropVariant &CPropVariant::operator=(const CPropVariant &src) {
    InternalCopy(&src);
    return *this;
}

CPropVariant &CPropVariant::operator=(const PROPVARIANT &src) {
    InternalCopy(&src);
    return *this;
}

CPropVariant &CPropVariant::operator=(LPCOLESTR s) {
    InternalClear();
    vt = VT_BSTR;
    wReserved1 = 0;
    bstrVal = ::SysAllocString(s);
    // A null text is a legal value: VT_BSTR with a null BSTR.
    if (!bstrVal && s) SetOutOfMemoryAndThrow();
    return *this;
}

CPropVariant &CPropVariant::operator=(const UString &s) {
    InternalClear();
    vt = VT_BSTR;
    wReserved1 = 0;
    // By length, so embedded 0 characters stay in the text.
    bstrVal = ::SysAllocStringLen(s, s.Len());
    if (!bstrVal) SetOutOfMemoryAndThrow();
    return *this;
}

CPropVariant &CPropVariant::operator=(const UString2 &s) {
    InternalClear();
    vt = VT_BSTR;
    wReserved1 = 0;
    bstrVal = ::SysAllocStringLen(s.GetRawPtr(), s.Len());
    if (!bstrVal) SetOutOfMemoryAndThrow();
    return *this;
}

CPropVariant &CPropVariant::operator=(const char *s) {
    InternalClear();
    vt = VT_BSTR;
    wReserved1 = 0;
    bstrVal = AllocBstrFromAscii(s);
    if (!bstrVal && s) SetOutOfMemoryAndThrow();
    return *this;
}

BSTR CPropVariant::AllocBstr(unsigned numChars) {
    InternalClear();
    vt = VT_BSTR;
    wReserved1 = 0;
    bstrVal = ::SysAllocStringLen(nullptr, numChars);
    if (!bstrVal) SetOutOfMemoryAndThrow();
    return bstrVal;
}

// A number assignment keeps a value of the same type in place and clears any other first.
#define SET_PROP_VAR_FUNC(argType, varType, field)                                                                     \
    CPropVariant &CPropVariant::operator=(argType value) throw() {                                                     \
        if (vt != varType) {                                                                                           \
            InternalClear();                                                                                           \
            vt = varType;                                                                                              \
        }                                                                                                              \
        field = value;                                                                                                 \
        return *this;                                                                                                  \
    }

SET_PROP_VAR_FUNC(Byte, VT_UI1, bVal)
SET_PROP_VAR_FUNC(Int32, VT_I4, lVal)
SET_PROP_VAR_FUNC(UInt32, VT_UI4, ulVal)
SET_PROP_VAR_FUNC(UInt64, VT_UI8, uhVal.QuadPart)
SET_PROP_VAR_FUNC(Int64, VT_I8, hVal.QuadPart)
SET_PROP_VAR_FUNC(const FILETIME &, VT_FILETIME, filetime)

CPropVariant &CPropVariant::operator=(bool value) throw() {
    if (vt != VT_BOOL) {
        InternalClear();
        vt = VT_BOOL;
    }
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return *this;
}

HRESULT CPropVariant::Clear() throw() {
    if (vt == VT_EMPTY) return S_OK;
    return PropVariant_Clear(this);
}

HRESULT CPropVariant::InternalClear() throw() {
    if (vt == VT_EMPTY) return S_OK;
    const HRESULT hr = Clear();
    if (hr != S_OK) {
        vt = VT_ERROR;
        scode = hr;
    }
    return hr;
}

void CPropVariant::InternalCopy(const PROPVARIANT *src) {
    // Copying a value onto itself must not free the text it is about to duplicate.
    if (src == this) return;
    HRESULT hr = ::VariantClear((VARIANTARG *)this);
    if (hr == S_OK) {
        if (src->vt == VT_BSTR) {
            BSTR copy = nullptr;
            if (src->bstrVal) {
                copy = ::SysAllocStringByteLen((LPCSTR)src->bstrVal, ::SysStringByteLen(src->bstrVal));
                if (!copy) hr = E_OUTOFMEMORY;
            }
            if (hr == S_OK) {
                memcpy((PROPVARIANT *)this, src, sizeof(PROPVARIANT));
                bstrVal = copy;
            }
        } else {
            memcpy((PROPVARIANT *)this, src, sizeof(PROPVARIANT));
        }
    }
    if (hr != S_OK) {
        if (hr == E_OUTOFMEMORY) SetOutOfMemoryAndThrow();
        vt = VT_ERROR;
        scode = hr;
    }
}

HRESULT CPropVariant::Attach(PROPVARIANT *src) throw() {
    const HRESULT hr = Clear();
    if (hr != S_OK) return hr;
    memcpy((PROPVARIANT *)this, src, sizeof(PROPVARIANT));
    src->vt = VT_EMPTY;
    return S_OK;
}

HRESULT CPropVariant::Detach(PROPVARIANT *dest) throw() {
    if (dest == this) return S_OK;
    if (dest->vt != VT_EMPTY) {
        const HRESULT hr = PropVariant_Clear(dest);
        if (hr != S_OK) return hr;
    }
    memcpy(dest, (PROPVARIANT *)this, sizeof(PROPVARIANT));
    vt = VT_EMPTY;
    return S_OK;
}

template <typename T> static int MyCompare(T a, T b) {
    return a < b ? -1 : (a == b ? 0 : 1);
}

int CPropVariant::Compare(const CPropVariant &a) const throw() {
    if (vt != a.vt) return MyCompare(vt, a.vt);
    switch (vt) {
    case VT_I2:
        return MyCompare(iVal, a.iVal);
    case VT_I4:
        return MyCompare(lVal, a.lVal);
    case VT_I8:
        return MyCompare(hVal.QuadPart, a.hVal.QuadPart);
    case VT_UI1:
        return MyCompare(bVal, a.bVal);
    case VT_UI2:
        return MyCompare(uiVal, a.uiVal);
    case VT_UI4:
        return MyCompare(ulVal, a.ulVal);
    case VT_UI8:
        return MyCompare(uhVal.QuadPart, a.uhVal.QuadPart);
    case VT_BOOL:
        // VARIANT_TRUE is -1: compare the truth, not the number.
        return MyCompare(boolVal != VARIANT_FALSE, a.boolVal != VARIANT_FALSE);
    case VT_FILETIME:
        return ::CompareFileTime(&filetime, &a.filetime);
    default:
        return 0;
    }
}

} // namespace NCOM
} // namespace NWindows
