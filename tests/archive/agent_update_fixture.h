#pragma once

// A panel-side recorder of archive edits: the folder update callbacks, with the optional interfaces
// switched on or off per test.
#include <string>
#include <vector>

#include "archive/ICoder.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"
#include "common/MyString.h"

namespace agenttest {

inline std::string Narrow(const wchar_t *s) {
    std::string r;
    if (!s) return "<null>";
    for (; *s; s++)
        r += *s < 0x80 ? (char)*s : '?';
    return r;
}

class CFolderUpdateRecorder : public IFolderArchiveUpdateCallback,
                              public IFolderArchiveUpdateCallback2,
                              public IFolderScanProgress,
                              public ICryptoGetTextPassword2,
                              public ICryptoGetTextPassword,
                              public ICompressProgressInfo,
                              public CMyUnknownImp {
public:
    bool WithCallback2 = false;
    bool WithScanProgress = false;
    bool WithPassword = false;
    std::wstring Password;

    std::vector<std::string> Events;
    std::vector<std::string> Messages;
    int NumRatioReports = 0;
    HRESULT MessageAnswer = S_OK;

    HRESULT QueryInterface(REFGUID iid, void **outObject) override {
        *outObject = nullptr;
        if (iid == IID_IUnknown || iid == IID_IProgress || iid == IID_IFolderArchiveUpdateCallback)
            *outObject = static_cast<IFolderArchiveUpdateCallback *>(this);
        else if (iid == IID_IFolderArchiveUpdateCallback2 && WithCallback2)
            *outObject = static_cast<IFolderArchiveUpdateCallback2 *>(this);
        else if (iid == IID_IFolderScanProgress && WithScanProgress)
            *outObject = static_cast<IFolderScanProgress *>(this);
        else if (iid == IID_ICryptoGetTextPassword2 && WithPassword)
            *outObject = static_cast<ICryptoGetTextPassword2 *>(this);
        else if (iid == IID_ICryptoGetTextPassword && WithPassword)
            *outObject = static_cast<ICryptoGetTextPassword *>(this);
        else if (iid == IID_ICompressProgressInfo)
            *outObject = static_cast<ICompressProgressInfo *>(this);
        else
            return E_NOINTERFACE;
        ++_m_RefCount;
        return S_OK;
    }
    COM_ADDREF_RELEASE

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT CompressOperation(const wchar_t *name) override {
        Events.push_back("Compress " + Narrow(name));
        return S_OK;
    }
    HRESULT DeleteOperation(const wchar_t *name) override {
        Events.push_back("Delete " + Narrow(name));
        return S_OK;
    }
    HRESULT OperationResult(Int32) override { return S_OK; }
    HRESULT UpdateErrorMessage(const wchar_t *message) override {
        Messages.push_back(Narrow(message));
        return MessageAnswer;
    }
    HRESULT SetNumFiles(UInt64 n) override {
        Events.push_back("NumFiles " + std::to_string(n));
        return S_OK;
    }

    HRESULT OpenFileError(const wchar_t *path, HRESULT errorCode) override {
        Events.push_back("OpenFileError " + Narrow(path) + " " + std::to_string((UInt32)errorCode));
        return S_OK;
    }
    HRESULT ReadingFileError(const wchar_t *path, HRESULT errorCode) override {
        Events.push_back("ReadingFileError " + Narrow(path) + " " + std::to_string((UInt32)errorCode));
        return S_OK;
    }
    HRESULT ReportExtractResult(Int32, Int32, const wchar_t *) override { return S_OK; }
    HRESULT ReportUpdateOperation(UInt32 op, const wchar_t *name, Int32 isDir) override {
        Events.push_back("Report " + std::to_string(op) + " " + Narrow(name) + (isDir ? "/" : ""));
        return S_OK;
    }

    HRESULT ScanError(const wchar_t *path, HRESULT errorCode) override {
        Events.push_back("ScanError " + Narrow(path) + " " + std::to_string((UInt32)errorCode));
        return S_OK;
    }
    HRESULT ScanProgress(UInt64, UInt64, UInt64, const wchar_t *, Int32) override { return S_OK; }

    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *password) override {
        *defined = 1;
        *password = ::SysAllocString(Password.c_str());
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(BSTR *password) override {
        *password = ::SysAllocString(Password.c_str());
        return S_OK;
    }
    HRESULT SetRatioInfo(const UInt64 *, const UInt64 *) override {
        NumRatioReports++;
        return S_OK;
    }
};

} // namespace agenttest
