#pragma once

// The password of one opened archive: asked once through the caller's ICryptoGetTextPassword, then
// kept until the archive is closed and handed to every libarchive session that needs it.
#include "libarchive/ArchiveReader.h"
#include "archive/IPassword.h"

#include <string>

namespace NPlugin {

class CPasswordKeeper : public IPassphraseSource {
    ICryptoGetTextPassword *_getter; // borrowed for the running operation
    bool _asked;
    bool _defined;
    bool _givenToSession;
    bool _rejected;
    HRESULT _askResult;
    std::string _password;

public:
    CPasswordKeeper();
    ~CPasswordKeeper();

    // Starts an operation (an open or an extraction) with a new libarchive session. A password that
    // was not given, or that turned out wrong, is asked for again.
    void BeginSession(ICryptoGetTextPassword *getter);
    // The kept password failed on an item.
    void Reject() { _rejected = true; }
    void EndSession() { _getter = nullptr; }
    // Forgets the password (archive closed).
    void Reset();
    // The failure of the request (E_ABORT when the user cancelled), else S_OK.
    HRESULT AskResult() const { return _askResult; }
    bool WasAsked() const { return _asked; }

    const char *NextPassphrase() override;
    // The password for this operation: the kept one, else asked for once; null when none was given.
    const char *Password();
};

} // namespace NPlugin
