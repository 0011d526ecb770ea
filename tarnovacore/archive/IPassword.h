#pragma once

// Password requests of archive handlers (Parts 2.114, 2.133). Part of the binary contract with the
// plug-in: self-contained. The password comes back as a BSTR that the handler frees.
#include "../common/InterfaceIds.h"
#include "../common/MyUnknown.h"
#include "../common/MyWindows.h"

// 05 10
struct ICryptoGetTextPassword : public IUnknown {
    virtual HRESULT CryptoGetTextPassword(BSTR *password) = 0;
};

// 05 11: for writing; passwordIsDefined 0 means no password is to be used.
struct ICryptoGetTextPassword2 : public IUnknown {
    virtual HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) = 0;
};
