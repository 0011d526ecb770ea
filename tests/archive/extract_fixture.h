#pragma once

// Extraction through the real driver and plug-in: a recording user-interface callback, fixtures
// made at test time with Debian's tools.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/codecs_fixture.h"
#include "archive/ui-common/Extract.h"
#include "test_support.h"

namespace extracttest {

using testsupport::A;
using testsupport::Sh;
using testsupport::Tree;

// One tar member for MakeTar: a file, a folder, a symbolic or a hard link, with any name.
struct CMember {
    std::string name;
    char type;        // 'f' file, 'd' folder, 's' symbolic link, 'h' hard link
    std::string data; // content of a file, target of a link
    int mode;
    long mtime;
};

inline CMember File(const std::string &name, const std::string &data, int mode = 0644, long mtime = 1000000000) {
    return CMember{name, 'f', data, mode, mtime};
}
inline CMember Dir(const std::string &name, int mode = 0755, long mtime = 1000000000) {
    return CMember{name, 'd', "", mode, mtime};
}
inline CMember SymLink(const std::string &name, const std::string &target) {
    return CMember{name, 's', target, 0777, 1000000000};
}
inline CMember HardLink(const std::string &name, const std::string &target) {
    return CMember{name, 'h', target, 0644, 1000000000};
}

inline std::string PyBytes(const std::string &s) {
    std::string r = "b'";
    char buf[8];
    for (unsigned char c : s) {
        snprintf(buf, sizeof(buf), "\\x%02x", c);
        r += buf;
    }
    return r + "'";
}

// Python's tarfile writes member names and link targets exactly as given.
inline bool MakeTar(const std::string &path, const std::vector<CMember> &members) {
    std::string py =
        "import tarfile, io\nwith tarfile.open(" + PyBytes(path) + ".decode(), 'w', format=tarfile.GNU_FORMAT) as t:\n";
    for (const CMember &m : members) {
        py += "    ti = tarfile.TarInfo(" + PyBytes(m.name) + ".decode())\n";
        py += "    ti.mtime = " + std::to_string(m.mtime) + "\n";
        py += "    ti.mode = " + std::to_string(m.mode) + "\n";
        switch (m.type) {
        case 'f':
            py += "    d = " + PyBytes(m.data) + "\n    ti.size = len(d)\n    t.addfile(ti, io.BytesIO(d))\n";
            break;
        case 'd':
            py += "    ti.type = tarfile.DIRTYPE\n    t.addfile(ti)\n";
            break;
        case 's':
            py += "    ti.type = tarfile.SYMTYPE\n    ti.linkname = " + PyBytes(m.data) +
                  ".decode()\n    t.addfile(ti)\n";
            break;
        case 'h':
            py += "    ti.type = tarfile.LNKTYPE\n    ti.linkname = " + PyBytes(m.data) +
                  ".decode()\n    t.addfile(ti)\n";
            break;
        }
    }
    const std::string script = path + ".py";
    if (!testsupport::WriteFile(script, py)) return false;
    const bool ok = Sh("/usr/bin/python3 '" + script + "'") == 0;
    unlink(script.c_str());
    return ok;
}

// Records what the engine reports; answers overwrite questions from a queue (then "yes").
class CRecordingCallback : public IExtractCallbackUI,
                           public ICryptoGetTextPassword,
                           public IOpenCallbackUI,
                           public IFolderArchiveExtractCallback2,
                           public CMyUnknownImp {
public:
    std::vector<std::string> messages;
    std::vector<std::string> prepared; // item names given to PrepareOperation
    std::vector<Int32> askModes;
    std::vector<Int32> opResults;
    std::vector<HRESULT> openResults;
    std::vector<UInt32> openErrorFlags; // of the innermost level, after each open that gave one
    std::vector<HRESULT> extractResults;
    std::vector<std::string> reported; // "name result" of items the handler failed without extracting
    std::vector<std::string> questions;
    std::deque<Int32> answers;
    std::vector<UInt64> totals;
    unsigned noFilesCalls = 0;
    std::string password;
    HRESULT passwordResult = S_OK; // E_ABORT plays a cancelled password prompt
    bool passwordAsked = false;

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IFolderArchiveExtractCallback)
    COM_QI_ENTRY(ICryptoGetTextPassword)
    COM_QI_ENTRY(IFolderArchiveExtractCallback2)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT SetTotal(UInt64 total) override {
        totals.push_back(total);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT AskOverwrite(const wchar_t *existName, const FILETIME *, const UInt64 *, const wchar_t *newName,
                         const FILETIME *, const UInt64 *, Int32 *answer) override {
        questions.push_back(A(UString(existName)) + " <- " + A(UString(newName)));
        *answer = NOverwriteAnswer::kYes;
        if (!answers.empty()) {
            *answer = answers.front();
            answers.pop_front();
        }
        return S_OK;
    }
    HRESULT PrepareOperation(const wchar_t *name, Int32, Int32 askExtractMode, const UInt64 *) override {
        prepared.push_back(A(UString(name)));
        askModes.push_back(askExtractMode);
        return S_OK;
    }
    HRESULT ReportExtractResult(Int32 opRes, Int32, const wchar_t *name) override {
        reported.push_back(A(UString(name)) + " " + std::to_string(opRes));
        return S_OK;
    }
    HRESULT MessageError(const wchar_t *message) override {
        messages.push_back(A(UString(message)));
        return S_OK;
    }
    HRESULT SetOperationResult(Int32 opRes, Int32) override {
        opResults.push_back(opRes);
        return S_OK;
    }
    HRESULT BeforeOpen(const wchar_t *, bool) override { return S_OK; }
    HRESULT OpenResult(const CCodecs *, const CArchiveLink &arcLink, const wchar_t *, HRESULT result) override {
        openResults.push_back(result);
        if (const CArc *arc = arcLink.GetArc()) openErrorFlags.push_back(arc->openErrors.errorFlags);
        return S_OK;
    }
    HRESULT ThereAreNoFiles() override {
        noFilesCalls++;
        return S_OK;
    }
    // As the front-end: a failed archive is counted and the run goes on, unless stopped.
    HRESULT ExtractResult(HRESULT result) override {
        extractResults.push_back(result);
        return (result == E_ABORT) ? result : S_OK;
    }
    HRESULT SetPassword(const UString &) override { return S_OK; }

    HRESULT CryptoGetTextPassword(BSTR *pw) override {
        passwordAsked = true;
        if (passwordResult != S_OK) return passwordResult;
        UString u;
        u.SetFromAscii(password.c_str());
        *pw = ::SysAllocString(u);
        return S_OK;
    }

    HRESULT Open_CheckBreak() override { return S_OK; }
    HRESULT Open_SetTotal(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_SetCompleted(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_Finished() override { return S_OK; }
    HRESULT Open_CryptoGetTextPassword(BSTR *pw) override { return CryptoGetTextPassword(pw); }

    bool HasMessageContaining(const std::string &text) const {
        for (const std::string &m : messages)
            if (m.find(text) != std::string::npos) return true;
        return false;
    }
};

struct CRun {
    HRESULT result = E_FAIL;
    UString errorMessage;
    CDecompressStat stat;
    std::string thrown;
};

// Runs Extract on the archives with the given options; the callback object is kept by the caller.
inline CRun RunExtract(const std::vector<std::string> &archives, const CExtractOptions &options, CRecordingCallback &cb,
                       IHashCalc *hash = nullptr, const NWildcard::CCensorNode *censor = nullptr,
                       const wchar_t *typeText = nullptr) {
    CRun run;
    UStringVector paths, fullPaths;
    // The driver wants both lists in name order.
    std::vector<std::string> sorted = archives;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string &a : sorted) {
        UString u;
        u.SetFromAscii(a.c_str());
        paths.Add(u);
    }
    fullPaths = paths;
    NWildcard::CCensorNode all;
    all.AddItem(true, UString(L"*"), true, true, true, true);
    CObjectVector<COpenType> types;
    if (typeText && !ParseOpenTypes(*enginetest::Registry().Codecs, UString(typeText), types)) return run;
    CIntVector excluded;
    cb.AddRef(); // the engine may take and drop references; keep the stack object alive
    try {
        run.result = Extract(enginetest::Registry().Codecs, types, excluded, paths, fullPaths, censor ? *censor : all,
                             options, &cb, &cb, hash, run.errorMessage, run.stat);
    } catch (const char *s) {
        run.thrown = s;
    }
    return run;
}

inline CExtractOptions Options(const std::string &outDir,
                               NExtract::NPathMode::EEnum pathMode = NExtract::NPathMode::kFullPaths,
                               NExtract::NOverwriteMode::EEnum overwriteMode = NExtract::NOverwriteMode::kOverwrite) {
    CExtractOptions o;
    o.OutputDir.SetFromAscii(outDir.c_str());
    o.PathMode = pathMode;
    o.OverwriteMode = overwriteMode;
    return o;
}

} // namespace extracttest
