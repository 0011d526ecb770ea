#pragma once

// Shared pieces of the disk-folder tests: a folder object on a real path, its listing by name,
// and small real callback objects that record what an operation reported.
#include <gtest/gtest.h>

#include <locale.h>

#include <string>
#include <vector>

#include "FSFolder.h"
#include "common/StringConvert.h"
#include "test_support.h"
#include "windows/PropVariant.h"

namespace foldersfx {

using namespace testsupport;
using NWindows::NCOM::CPropVariant;

// Names on disk are UTF-8, as the program sets it up at start.
struct CUtf8Names {
    CUtf8Names() {
        setlocale(LC_ALL, "C.UTF-8");
        global_use_utf16_conversion = 1;
    }
};
inline const CUtf8Names g_utf8Names;

inline CMyComPtr<IFolderFolder> OpenFolder(const UString &path, NFsFolder::CFSFolder **impl = nullptr,
                                           bool flat = false) {
    NFsFolder::CFSFolder *folderSpec = new NFsFolder::CFSFolder;
    CMyComPtr<IFolderFolder> folder = folderSpec;
    folderSpec->Init(path);
    folderSpec->SetFlatMode(flat ? 1 : 0);
    folderSpec->LoadItems();
    if (impl) *impl = folderSpec;
    return folder;
}

inline CMyComPtr<IFolderFolder> OpenFolder(const std::string &dir, NFsFolder::CFSFolder **impl = nullptr,
                                           bool flat = false) {
    return OpenFolder(U(dir + "/"), impl, flat);
}

// The item index of a name (its unit-per-byte or decoded form), -1 when not listed.
inline int IndexOf(NFsFolder::CFSFolder *folder, const UString &name, const UString &prefix = UString()) {
    FOR_VECTOR(i, folder->items) {
        const NFsFolder::CDirItem &it = folder->items[i];
        const UString p = it.parentPrefix < 0 ? UString() : folder->subPrefixes[(unsigned)it.parentPrefix];
        if (it.Name == name && p == prefix) return (int)i;
    }
    return -1;
}
inline int IndexOf(NFsFolder::CFSFolder *folder, const std::string &name, const std::string &prefix = "") {
    return IndexOf(folder, U(name), U(prefix));
}

inline std::string StrProp(IFolderFolder *folder, UInt32 index, PROPID propID) {
    CPropVariant prop;
    if (folder->GetProperty(index, propID, &prop) != S_OK) return "<fail>";
    if (prop.vt == VT_EMPTY) return "<empty>";
    if (prop.vt != VT_BSTR) return "<type>";
    return S(prop.bstrVal);
}

// The progress part of the callbacks: records what it was told and can stop the work at a
// chosen report.
template <class TBase> class CRecordingProgressT : public TBase {
public:
    std::vector<UInt64> totals;
    std::vector<UInt64> completed;
    int stopAfter = -1; // number of SetCompleted calls answered before E_ABORT

    HRESULT SetTotal(UInt64 total) override {
        totals.push_back(total);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *value) override {
        completed.push_back(value ? *value : ~(UInt64)0);
        if (stopAfter >= 0 && (int)completed.size() > stopAfter) return E_ABORT;
        return S_OK;
    }
};

class CRecordingProgress : public CRecordingProgressT<IProgress>, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IProgress)
};

// What the panel's extraction callback does for a copy on disk, with fixed answers.
class CCopyCallback : public CRecordingProgressT<IFolderOperationsExtractCallback>, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderOperationsExtractCallback)
    enum EAnswer { kWrite, kSkip, kRenameTo };
    EAnswer answer = kWrite;
    std::string renameTo;

    std::vector<std::string> asked; // destination paths of AskWrite
    std::vector<std::string> messages;
    std::vector<std::string> currentFiles;
    UInt64 numFiles = 0;

    HRESULT AskWrite(const wchar_t *, Int32, const FILETIME *, const UInt64 *, const wchar_t *destPathRequest,
                     BSTR *destPathResult, Int32 *writeAnswer) override {
        asked.push_back(S(destPathRequest));
        *writeAnswer = answer != kSkip;
        *destPathResult = SysAllocString(answer == kRenameTo ? U(renameTo).Ptr() : destPathRequest);
        return S_OK;
    }
    HRESULT ShowMessage(const wchar_t *message) override {
        messages.push_back(S(message));
        return S_OK;
    }
    HRESULT SetCurrentFilePath(const wchar_t *filePath) override {
        currentFiles.push_back(S(filePath));
        return S_OK;
    }
    HRESULT SetNumFiles(UInt64 n) override {
        numFiles = n;
        return S_OK;
    }
};

// Runs the copy of the named items of dir to dest; the caller holds a reference to the callback.
inline HRESULT CopyItems(const std::string &dir, const std::vector<std::string> &names, const std::string &dest,
                         bool move, CCopyCallback *callback) {
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(dir, &impl);
    std::vector<UInt32> indices;
    for (const std::string &name : names) {
        const int i = IndexOf(impl, name);
        if (i < 0) return E_FAIL;
        indices.push_back((UInt32)i);
    }
    return impl->CopyTo(move ? 1 : 0, indices.data(), (UInt32)indices.size(), 0, 0, U(dest), callback);
}

inline std::string Self() {
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (len <= 0) return std::string();
    self[len] = 0;
    return self;
}

inline bool OnDifferentFileSystems(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

// Names left behind by an interrupted replace.
inline std::vector<std::string> TempLeftovers(const std::string &dir) {
    std::vector<std::string> v;
    for (const std::string &n : DirEntries(dir))
        if (n.find(".tarnova-") != std::string::npos) v.push_back(n);
    return v;
}

} // namespace foldersfx
