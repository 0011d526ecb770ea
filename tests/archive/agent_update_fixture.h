#pragma once

// Archive edits as the panel makes them: a recorder of the folder update callbacks (optional interfaces switched on or
// off per test), archives made and listed with independent tools, and a fixture that opens one through the agent.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/ICoder.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "archive/agent/AgentFolder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "test_support.h"
#include "windows/PropVariant.h"

namespace agenttest {

using testsupport::TempFolder;
using testsupport::W;

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
                              public IArchiveOpenCallback,
                              public CMyUnknownImp {
public:
    bool WithCallback2 = false;
    bool WithScanProgress = false;
    bool WithPassword = false;
    bool WithOpenCallback = false;
    HRESULT OpenAnswer = S_OK; // what the reopen after an edit is told
    std::wstring Password;

    std::vector<std::string> Events;
    std::vector<std::string> Messages;
    int NumRatioReports = 0;
    HRESULT MessageAnswer = S_OK;
    // Runs at each item the writer asks for; a non-zero answer stops the writer there.
    std::function<HRESULT()> OnItem;

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
        else if (iid == IID_IArchiveOpenCallback && WithOpenCallback)
            *outObject = static_cast<IArchiveOpenCallback *>(this);
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
        return OnItem ? OnItem() : S_OK;
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
        return OnItem ? OnItem() : S_OK;
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
    HRESULT SetTotal(const UInt64 *, const UInt64 *) override { return OpenAnswer; }
    HRESULT SetCompleted(const UInt64 *, const UInt64 *) override { return OpenAnswer; }

    HRESULT SetRatioInfo(const UInt64 *, const UInt64 *) override {
        NumRatioReports++;
        return S_OK;
    }
};

// The work folder that the test program's settings reader reports.
inline UString &WorkDirSetting() {
    static UString path;
    return path;
}

// Archives made and read by python's own modules and bsdtar, never by the code under test. files: "name=content" for a
// file, "name/" for a folder entry.
inline bool MakeArchive(const std::string &path, const std::string &kind, const std::vector<std::string> &files,
                        const std::string &scratch) {
    std::string py = "import sys, os, io\np, kind = sys.argv[1], "
                     "sys.argv[2]\nitems = sys.argv[3:]\n";
    py += R"PY(
if kind == 'zip':
    import zipfile
    with zipfile.ZipFile(p, 'w', zipfile.ZIP_DEFLATED) as z:
        for it in items:
            if it.endswith('/'):
                z.writestr(it, b'')
            else:
                n, c = it.split('=', 1)
                z.writestr(n, c.encode())
else:
    import tempfile, shutil
    root = tempfile.mkdtemp(dir=os.environ['SCRATCH'])
    names = []
    for it in items:
        if it.endswith('/'):
            os.makedirs(os.path.join(root, it), exist_ok=True)
            names.append(it.rstrip('/'))
        else:
            n, c = it.split('=', 1)
            os.makedirs(os.path.dirname(os.path.join(root, n)), exist_ok=True)
            open(os.path.join(root, n), 'w').write(c)
            names.append(n)
    if kind == '7z':
        import py7zr
        with py7zr.SevenZipFile(p, 'w') as z:
            for n in names:
                z.write(os.path.join(root, n), n)
    else:
        import subprocess
        subprocess.check_call(['bsdtar', '-cf', p, '-C', root, '-n'] + names)
    shutil.rmtree(root)
)PY";
    const std::string script = scratch + "/make.py";
    if (!testsupport::WriteFile(script, py)) return false;
    std::string cmd = "SCRATCH='" + scratch + "' /usr/bin/python3 '" + script + "' '" + path + "' " + kind;
    for (const std::string &f : files)
        cmd += " '" + f + "'";
    return testsupport::Sh(cmd) == 0;
}

// "name=content" per file and "name/" per folder, sorted, one a line.
inline std::string ListArchive(const std::string &path, const std::string &kind, const std::string &scratch) {
    const char *py = R"PY(
import sys
p, kind = sys.argv[1], sys.argv[2]
out = []
if kind == '7z':
    import py7zr
    with py7zr.SevenZipFile(p, 'r') as z:
        infos = [(i.filename, i.is_directory) for i in z.list()]
    with py7zr.SevenZipFile(p, 'r') as z:
        data = z.readall() or {}
    for n, d in infos:
        out.append(n + '/' if d else n + '=' + (data[n].read().decode('latin1') if n in data else ''))
elif kind == 'zip':
    import zipfile
    with zipfile.ZipFile(p) as z:
        if z.testzip() is not None:
            out.append('<bad crc>')
        for i in z.infolist():
            out.append(i.filename if i.is_dir() else i.filename + '=' + z.read(i).decode('latin1'))
else:
    import tarfile
    with tarfile.open(p) as t:
        for m in t.getmembers():
            out.append(m.name + '/' if m.isdir() else m.name + '=' + t.extractfile(m).read().decode('latin1'))
print('\n'.join(sorted(out)))
)PY";
    const std::string script = scratch + "/list.py";
    if (!testsupport::WriteFile(script, py)) return "<no script>";
    std::string out = testsupport::Shell("/usr/bin/python3 '" + script + "' '" + path + "' " + kind + " 2>&1");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

inline std::string FolderPath(IFolderFolder *folder) {
    NWindows::NCOM::CPropVariant prop;
    if (folder->GetFolderProperty(kpidPath, &prop) != S_OK || prop.vt != VT_BSTR) return "<none>";
    return Narrow(prop.bstrVal);
}

// Listing position of a name in a folder, -1 when absent.
inline int IndexOf(IFolderFolder *folder, const std::string &name) {
    UInt32 num = 0;
    if (folder->GetNumberOfItems(&num) != S_OK) return -1;
    for (UInt32 i = 0; i < num; i++) {
        NWindows::NCOM::CPropVariant prop;
        if (folder->GetProperty(i, kpidName, &prop) == S_OK && prop.vt == VT_BSTR && Narrow(prop.bstrVal) == name)
            return (int)i;
    }
    return -1;
}

class CAgentEditTest : public ::testing::Test {
protected:
    TempFolder Dir;
    TempFolder Work;
    TempFolder Scratch;
    CMyComPtr<IInFolderArchive> Agent;
    CMyComPtr<IFolderFolder> Root;
    CFolderUpdateRecorder *Recorder = nullptr;
    CMyComPtr<IProgress> Progress;

    void SetUp() override {
        setlocale(LC_ALL, "C.UTF-8");
        const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
        setenv("TARNOVA_HOME_DIR", (std::string(out ? out : ".") + "/").c_str(), 1);
        ASSERT_TRUE(Dir.Ok() && Work.Ok() && Scratch.Ok());
        WorkDirSetting() = W(Work.Path() + "/");
        Recorder = new CFolderUpdateRecorder;
        Progress = static_cast<IFolderArchiveUpdateCallback *>(Recorder);
    }

    std::string Arc(const std::string &kind) const { return Dir / ("test." + kind); }

    void Make(const std::string &kind, const std::vector<std::string> &files) {
        ASSERT_TRUE(MakeArchive(Arc(kind), kind, files, Scratch.Path()));
    }

    void Open(const std::string &path, const wchar_t *type = L"") {
        Root.Release();
        CAgent *agentImpl = new CAgent;
        Agent = agentImpl;
        ASSERT_EQ(Agent->Open(nullptr, W(path), type, nullptr, nullptr), S_OK);
        ASSERT_EQ(Agent->BindToRootFolder(&Root), S_OK);
    }

    CMyComPtr<IFolderFolder> Bind(IFolderFolder *folder, const wchar_t *name) {
        CMyComPtr<IFolderFolder> sub;
        EXPECT_EQ(folder->BindToFolder(name, &sub), S_OK);
        return sub;
    }

    static CMyComPtr<IFolderOperations> Ops(IFolderFolder *folder) {
        CMyComPtr<IFolderOperations> ops;
        folder->QueryInterface(IID_IFolderOperations, reinterpret_cast<void **>(&ops));
        return ops;
    }

    std::string List(const std::string &kind) { return ListArchive(Arc(kind), kind, Scratch.Path()); }
};

} // namespace agenttest
