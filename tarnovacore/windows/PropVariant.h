#pragma once

#include "common/MyString.h"
#include "common/MyWindows.h"

namespace NWindows {
namespace NCOM {

// Null for a null s or when allocation fails; each byte becomes one character (no charset conversion).
BSTR AllocBstrFromAscii(const char *s) throw();

// Plain types are zeroed in place (all 16 bytes); anything else goes through VariantClear.
HRESULT PropVariant_Clear(PROPVARIANT *p) throw();

// These write into p without clearing it first; they never throw and leave VT_ERROR holding
// E_OUTOFMEMORY when allocation fails.
HRESULT PropVarEm_Alloc_Bstr(PROPVARIANT *p, unsigned numChars) throw();
HRESULT PropVarEm_Set_Str(PROPVARIANT *p, const char *s) throw();

// An owning PROPVARIANT: while the type is VT_BSTR the value owns its BSTR. Allocation failures
// throw the 8-bit text "out of memory".
class CPropVariant : public tagPROPVARIANT {
    HRESULT InternalClear() throw();
    void InternalCopy(const PROPVARIANT *src);
    void SetOutOfMemoryAndThrow();

public:
    // Value-initialising the base zeroes all 16 bytes: VT_EMPTY.
    CPropVariant() : tagPROPVARIANT() {}
    ~CPropVariant() throw() { Clear(); }
    CPropVariant(const PROPVARIANT &src);
    CPropVariant(const CPropVariant &src);
    CPropVariant(LPCOLESTR s);

    CPropVariant &operator=(const CPropVariant &src);
    CPropVariant &operator=(const PROPVARIANT &src);
    CPropVariant &operator=(LPCOLESTR s);
    CPropVariant &operator=(const UString &s);
    CPropVariant &operator=(const UString2 &s);
    CPropVariant &operator=(const char *s);

    CPropVariant &operator=(bool value) throw();
    CPropVariant &operator=(Byte value) throw();
    CPropVariant &operator=(Int32 value) throw();
    CPropVariant &operator=(UInt32 value) throw();
    CPropVariant &operator=(UInt64 value) throw();
    CPropVariant &operator=(Int64 value) throw();
    CPropVariant &operator=(const FILETIME &value) throw();

    // Becomes VT_BSTR of numChars zero characters; the caller fills the returned buffer.
    BSTR AllocBstr(unsigned numChars);

    HRESULT Clear() throw();
    HRESULT Attach(PROPVARIANT *src) throw();
    HRESULT Detach(PROPVARIANT *dest) throw();

    // -1, 0 or 1: different types order by type code; texts and unknown types compare equal.
    int Compare(const CPropVariant &other) const throw();
};

} // namespace NCOM
} // namespace NWindows
