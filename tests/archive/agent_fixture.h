#pragma once

// Archive folders over real archives: the agent's process-wide registry loaded from the build's
// 7z.so, archives made at test time with python's tarfile and zipfile, a recording extract
// callback, and a small in-memory handler for what no real format of the plug-in reports
// (parent links, alternate streams, failing or odd properties).
#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "archive/agent/Agent.h"
#include "archive/agent/AgentFolder.h"
#include "archive/common/StreamUtils.h"
#include "common/MyCom.h"
#include "windows/PropVariant.h"

namespace agentfx {

// Loads the process-wide registry from the folder where the build put 7z.so.
inline HRESULT LoadRegistry() {
    const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
    const std::string home = std::string(dir ? dir : ".") + "/";
    setenv("TARNOVA_HOME_DIR", home.c_str(), 1);
    return LoadGlobalCodecs();
}

inline int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/tarnova-agent-XXXXXX";
        if (mkdtemp(templ)) path_ = templ;
    }
    ~TempDir() {
        if (!path_.empty()) nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline int Sh(const std::string &cmd) {
    const int rc = system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline bool WriteText(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

inline std::string ReadText(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

inline bool RunPython(const std::string &scriptPath, const std::string &code) {
    if (!WriteText(scriptPath, code)) return false;
    const bool ok = Sh("/usr/bin/python3 '" + scriptPath + "'") == 0;
    unlink(scriptPath.c_str());
    return ok;
}

// Members in the order given: a name ending in '/' is a folder, anything else a file with that
// content. Names are ASCII here.
struct CEntry {
    std::string name;
    std::string data;
};

inline std::string PyStr(const std::string &s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\\' || c == '\'') r += '\\';
        r += c;
    }
    return r + "'";
}

inline bool MakeTar(const std::string &path, const std::vector<CEntry> &entries) {
    std::string py = "import tarfile, io\nt = tarfile.open(" + PyStr(path) + ", 'w', format=tarfile.GNU_FORMAT)\n";
    for (const CEntry &e : entries) {
        const bool isDir = !e.name.empty() && e.name.back() == '/';
        py += "ti = tarfile.TarInfo(" + PyStr(isDir ? e.name.substr(0, e.name.size() - 1) : e.name) + ")\n";
        py += "ti.mtime = 1000000000\n";
        if (isDir)
            py += "ti.type = tarfile.DIRTYPE\nti.mode = 0o755\nt.addfile(ti)\n";
        else
            py +=
                "d = " + PyStr(e.data) + ".encode()\nti.size = len(d)\nti.mode = 0o644\nt.addfile(ti, io.BytesIO(d))\n";
    }
    py += "t.close()\n";
    return RunPython(path + ".py", py);
}

inline bool MakeZip(const std::string &path, const std::vector<CEntry> &entries) {
    std::string py = "import zipfile\nz = zipfile.ZipFile(" + PyStr(path) + ", 'w', zipfile.ZIP_DEFLATED)\n";
    for (const CEntry &e : entries)
        py += "z.writestr(zipfile.ZipInfo(" + PyStr(e.name) + ", (2020, 1, 2, 3, 4, 6)), " + PyStr(e.data) + ")\n";
    py += "z.close()\n";
    return RunPython(path + ".py", py);
}

inline UString W(const std::string &s) {
    UString u;
    u.SetFromAscii(s.c_str());
    return u;
}

inline std::string A(const wchar_t *s, unsigned len) {
    std::string r;
    for (unsigned i = 0; i < len; i++)
        r += (char)s[i];
    return r;
}

inline std::string A(const wchar_t *s) {
    return s ? A(s, (unsigned)wcslen(s)) : std::string("<null>");
}

// Opens a file through a new agent; the agent lives as long as the folder.
struct COpened {
    HRESULT result = E_FAIL;
    CAgent *agent = nullptr;
    CMyComPtr<IInFolderArchive> archive;
    CMyComPtr<IFolderFolder> root;
};

inline COpened OpenArchive(const std::string &path, const wchar_t *format = L"") {
    COpened o;
    o.agent = new CAgent;
    o.archive = o.agent;
    o.result = o.archive->Open(nullptr, W(path), format, nullptr, nullptr);
    if (o.result == S_OK) o.result = o.archive->BindToRootFolder(&o.root);
    return o;
}

inline std::string StrProp(IFolderFolder *folder, UInt32 index, PROPID propID) {
    NWindows::NCOM::CPropVariant prop;
    if (folder->GetProperty(index, propID, &prop) != S_OK) return "<fail>";
    if (prop.vt == VT_EMPTY) return "<empty>";
    if (prop.vt != VT_BSTR) return "<type>";
    return A(prop.bstrVal);
}

// "name" for files, "name/" for folders, in listing order.
inline std::vector<std::string> Listing(IFolderFolder *folder) {
    std::vector<std::string> rows;
    folder->LoadItems();
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    for (UInt32 i = 0; i < n; i++) {
        NWindows::NCOM::CPropVariant isDir;
        folder->GetProperty(i, kpidIsDir, &isDir);
        rows.push_back(StrProp(folder, i, kpidName) + (isDir.vt == VT_BOOL && isDir.boolVal ? "/" : ""));
    }
    return rows;
}

inline CMyComPtr<IFolderFolder> Bind(IFolderFolder *folder, const char *name) {
    CMyComPtr<IFolderFolder> sub;
    folder->BindToFolder(W(name), &sub);
    return sub;
}

// Records what an archive folder's extraction reports.
class CExtractRecorder : public IFolderArchiveExtractCallback, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderArchiveExtractCallback)

    std::vector<UInt64> totals;
    std::vector<std::string> prepared;
    std::vector<Int32> results;
    std::vector<std::string> errors;

    HRESULT SetTotal(UInt64 total) override {
        totals.push_back(total);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT AskOverwrite(const wchar_t *, const FILETIME *, const UInt64 *, const wchar_t *, const FILETIME *,
                         const UInt64 *, Int32 *answer) override {
        *answer = NOverwriteAnswer::kYes;
        return S_OK;
    }
    HRESULT PrepareOperation(const wchar_t *name, Int32, Int32, const UInt64 *) override {
        prepared.push_back(A(name));
        return S_OK;
    }
    HRESULT MessageError(const wchar_t *message) override {
        errors.push_back(A(message));
        return S_OK;
    }
    HRESULT SetOperationResult(Int32 opRes, Int32) override {
        results.push_back(opRes);
        return S_OK;
    }
};

// ---------- an in-memory handler ----------

struct CMemItem {
    std::wstring path; // kpidPath; empty gives VT_EMPTY
    std::wstring name; // kpidName (and the raw name when rawNames); empty gives VT_EMPTY
    bool isDir = false;
    int parent = -1;
    bool isAlt = false;
    UInt64 size = 0;
    VARTYPE sizeType = VT_UI8; // the width kpidSize comes in
    bool sizeDefined = true;
    bool sizeFails = false; // GetProperty(kpidSize) fails
    bool crcDefined = false;
    UInt32 crc = 0;
};

class CMemHandler : public IInArchive, public IArchiveGetRawProps, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IInArchive, IArchiveGetRawProps)

    std::vector<CMemItem> items;
    bool rawNames = true;
    bool pathIsNumber = false; // kpidPath comes as VT_UI4
    UInt32 parentOverride = 0; // not 0: every item reports this parent
    std::vector<UInt32> extracted;
    // A reopen reads these instead, and the data of the old items (their raw names too) is gone.
    std::vector<CMemItem> itemsOnReopen;

    HRESULT Open(IInStream *, const UInt64 *, IArchiveOpenCallback *) override {
        if (!itemsOnReopen.empty()) {
            items.swap(itemsOnReopen);
            itemsOnReopen.clear();
        }
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }
    HRESULT GetNumberOfItems(UInt32 *numItems) override {
        *numItems = (UInt32)items.size();
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        NWindows::NCOM::CPropVariant prop;
        const CMemItem &it = items[index];
        switch (propID) {
        case kpidPath:
            if (pathIsNumber)
                prop = (UInt32)7;
            else if (!it.path.empty())
                prop = it.path.c_str();
            break;
        case kpidName:
            if (!it.name.empty()) prop = it.name.c_str();
            break;
        case kpidIsDir:
            prop = it.isDir;
            break;
        case kpidIsAltStream:
            prop = it.isAlt;
            break;
        case kpidSize:
            if (it.sizeFails) return E_FAIL;
            if (!it.sizeDefined) break;
            if (it.sizeType == VT_UI1)
                prop = (Byte)it.size;
            else if (it.sizeType == VT_UI2) {
                prop.vt = VT_UI2;
                prop.uiVal = (UInt16)it.size;
            } else if (it.sizeType == VT_UI4)
                prop = (UInt32)it.size;
            else
                prop = it.size;
            break;
        case kpidPackSize:
            if (it.sizeDefined) prop = it.size;
            break;
        case kpidCRC:
            if (it.crcDefined) prop = it.crc;
            break;
        default:
            break;
        }
        prop.Detach(value);
        return S_OK;
    }
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32, IArchiveExtractCallback *) override {
        extracted.assign(indices, indices + numItems);
        return S_OK;
    }
    HRESULT GetArchiveProperty(PROPID, PROPVARIANT *value) override {
        value->vt = VT_EMPTY;
        return S_OK;
    }
    HRESULT GetNumberOfProperties(UInt32 *numProps) override {
        *numProps = 2;
        return S_OK;
    }
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override {
        *name = nullptr;
        *propID = index == 0 ? kpidSize : kpidCRC;
        *varType = index == 0 ? VT_UI8 : VT_UI4;
        return S_OK;
    }
    HRESULT GetNumberOfArchiveProperties(UInt32 *numProps) override {
        *numProps = 0;
        return S_OK;
    }
    HRESULT GetArchivePropertyInfo(UInt32, BSTR *, PROPID *, VARTYPE *) override { return E_INVALIDARG; }

    HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) override {
        *parent = parentOverride != 0 ? parentOverride : (UInt32)items[index].parent;
        *parentType = 0;
        return S_OK;
    }
    HRESULT GetRawProp(UInt32 index, PROPID propID, const void **data, UInt32 *dataSize, UInt32 *propType) override {
        *data = nullptr;
        *dataSize = 0;
        *propType = 0;
        if (propID == kpidName && rawNames && !items[index].name.empty()) {
            const std::wstring &n = items[index].name;
            *data = n.c_str();
            *dataSize = (UInt32)((n.size() + 1) * sizeof(wchar_t));
            *propType = NPropDataType::kUtf32z;
        }
        return S_OK;
    }
    HRESULT GetNumRawProps(UInt32 *numProps) override {
        *numProps = 0;
        return S_OK;
    }
    HRESULT GetRawPropInfo(UInt32, BSTR *, PROPID *) override { return E_INVALIDARG; }
};

// One archive level over the in-memory handler; parent links only when asked for.
inline void FillArc(CArc &arc, CMemHandler *handler, bool tree) {
    arc.handler = handler;
    arc.formatIndex = -1;
    if (tree) {
        arc.rawPropsHandler = handler;
        arc.isTreeArchive = true;
        arc.mayHaveAltStreams = true;
    }
}

// An agent whose only level is the in-memory handler, as if it had been opened.
inline COpened OpenMem(CMemHandler *handler, bool tree) {
    COpened o;
    o.agent = new CAgent;
    o.archive = o.agent;
    FillArc(o.agent->_archiveLink.levels.AddNew(), handler, tree);
    o.agent->_archiveLink.isOpen = true;
    o.agent->ArchiveType = L"Parser";
    o.result = o.archive->BindToRootFolder(&o.root);
    return o;
}

} // namespace agentfx
