#include "PasswordKeeper.h"

#include "NameDecoder.h"

#include <string.h>

namespace NPlugin {

CPasswordKeeper::CPasswordKeeper()
    : _getter(nullptr), _asked(false), _defined(false), _givenToSession(false), _rejected(false), _askResult(S_OK) {}

CPasswordKeeper::~CPasswordKeeper() {
    Reset();
}

void CPasswordKeeper::BeginSession(ICryptoGetTextPassword *getter) {
    if (_rejected || !_defined) Reset();
    _getter = getter;
    _givenToSession = false;
}

void CPasswordKeeper::Reset() {
    // The secret does not linger in freed memory.
    if (!_password.empty()) memset(&_password[0], 0, _password.size());
    _password.clear();
    _asked = false;
    _defined = false;
    _givenToSession = false;
    _rejected = false;
    _askResult = S_OK;
    _getter = nullptr;
}

// libarchive keeps a password it was given for the rest of its session and calls again only when
// every kept one failed: then there is nothing new to offer.
const char *CPasswordKeeper::NextPassphrase() {
    if (_defined) {
        if (_givenToSession) return nullptr;
        _givenToSession = true;
        return _password.c_str();
    }
    if (_asked || !_getter) return nullptr;
    _asked = true;
    BSTR b = nullptr;
    const HRESULT res = _getter->CryptoGetTextPassword(&b);
    if (res != S_OK) {
        SysFreeString(b);
        _askResult = (res == S_FALSE) ? E_ABORT : res;
        return nullptr;
    }
    _password = WideToUtf8(b ? b : L"");
    SysFreeString(b);
    _defined = true;
    _givenToSession = true;
    return _password.c_str();
}

const char *CPasswordKeeper::Password() {
    if (_defined) return _password.c_str();
    return NextPassphrase();
}

} // namespace NPlugin
