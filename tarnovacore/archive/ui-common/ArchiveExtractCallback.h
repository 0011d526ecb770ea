#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "ExtractMode.h"
#include "ExtractOutDir.h"
#include "GetProp.h"
#include "HashCalc.h"
#include "OpenArchive.h"
#include "OutFdStream.h"
#include "OutStreamWithHash.h"
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "archive/common/LocalProgress.h"
#include "common/MyCom.h"
#include "common/Wildcard.h"

// True when the censor node includes the item (an alternate stream is also checked as
// "path:stream").
bool CensorNode_CheckPath2(const NWildcard::CCensorNode &node, const CReadArcItem &item, bool &include);
bool CensorNode_CheckPath(const NWildcard::CCensorNode &node, const CReadArcItem &item);

// What an answer to the overwrite question means: S_OK write (the mode may change for the clashes
// that follow), S_FALSE skip this file, E_ABORT stop; E_FAIL for an unknown answer.
HRESULT ApplyOverwriteAnswer(Int32 answer, NExtract::NOverwriteMode::EEnum &mode);

// What a format handler talks to while it extracts: decides where each item goes, writes it
// below the output folder, and reports to the user interface.
class CArchiveExtractCallback : public IArchiveExtractCallback,
                                public IArchiveExtractCallbackMessage,
                                public ICryptoGetTextPassword,
                                public ICompressProgressInfo,
                                public CMyUnknownImp {
    struct CIndexToPathPair {
        UInt32 Index;
        UString Path;
    };

    // A folder written by this archive, for its times at the end. Its path is kept as the part
    // below an earlier folder of the list (its parent, when the archive lists folders top down):
    // a tree thousands of levels deep then holds each name once, not once per folder below it.
    struct CExtractedDir {
        UString Name; // the path below Parent's, or the whole path when Parent is -1
        int Parent;   // index in _extractedDirs
        unsigned Len; // of the whole path
        bool InRoot;  // relative to "/" (absolute paths mode), not to the output folder
        UInt32 Index;
        unsigned NumSlashes;
    };
    UString _lastDirPath; // the whole path of the last folder of _extractedDirs
    void AddExtractedDir(const UString &relPath, bool inRoot, UInt32 index);
    UString ExtractedDirPath(unsigned k) const;

    // A placeholder file holding a link target, made into the link at the end.
    struct CDelayedLink {
        UString RelPath;
        bool InRoot;
        bool Dropped; // a later item of the same name took its place
        UInt64 Dev;
        UInt64 Ino;
        FILETIME ATime, MTime;
        bool ATimeDefined, MTimeDefined;
    };

    const CArc *_arc;
    CExtractNtOptions _ntOptions;
    const NWildcard::CCensorNode *_wildcardCensor;

    CMyComPtr<IFolderArchiveExtractCallback> _extractCallback2;
    CMyComPtr<ICompressProgressInfo> _compressProgress;
    CMyComPtr<ICryptoGetTextPassword> _cryptoGetTextPassword;
    CMyComPtr<IArchiveExtractCallbackMessage> _callbackMessage;
    CMyComPtr<IFolderArchiveExtractCallback2> _folderArchiveExtractCallback2;

    NExtract::NPathMode::EEnum _pathMode;
    NExtract::NOverwriteMode::EEnum _overwriteMode;
    bool _stdOutMode;
    bool _testMode;
    bool _multiArchives;
    bool _extractMode;

    UString _dirPathPrefix;
    UString _dirPathPrefix_Full;
    CExtractOutDir _outDir;
    CExtractOutDir _rootDir;

    UStringVector _removePathParts;
    bool _removePartsForAltStreams;

    // The current item.
    UInt32 _index;
    CReadArcItem _item;
    UString _diskFilePath;
    UString _diskRelPath;
    bool _diskInRoot;
    bool _diskPathValid;
    bool _isSplit;
    UInt64 _position;
    bool _encrypted;
    UInt64 _curSize;
    bool _curSizeDefined;
    bool _fileWasCreated;
    bool _isRenamedItem;
    bool _isLinkPlaceholder;

    struct CItemProps {
        UInt32 Attrib;
        bool AttribDefined;
        FILETIME CTime, ATime, MTime;
        bool CTimeDefined, ATimeDefined, MTimeDefined;
        bool IsAnti;
    } _fi;

    FILETIME _arcMTime;
    bool _arcMTimeDefined;

    COutFdStream *_outFileStreamSpec;
    CMyComPtr<ISequentialOutStream> _outFileStream;

    COutStreamWithHash *_hashStreamSpec;
    CMyComPtr<ISequentialOutStream> _hashStream;
    bool _hashStreamWasUsed;

    CGetProp *_getPropSpec;
    CMyComPtr<IGetProp> _getProp;

    UInt64 _packTotal;
    UInt64 _progressTotal;
    bool _progressTotal_Defined;

    CLocalProgress *_localProgressSpec;
    CMyComPtr<ICompressProgressInfo> _localProgress;

    CObjectVector<CExtractedDir> _extractedDirs;
    CObjectVector<CDelayedLink> _delayedLinks;
    // The waiting link of each output path, by DelayedLinkKey: one look-up per written file.
    std::unordered_map<std::wstring, unsigned> _delayedLinkOfPath;
    CObjectVector<CIndexToPathPair> _renamedFiles; // sorted by index

    // Files that this run created for split items: only those are continued in place.
    std::set<std::wstring> _splitFilesCreated;
    // Archive paths of the regular files written from this archive, for its hard links.
    // Kept small for archives of many files: a hash of the normalized archive path gives
    // kWrittenAtArcPath when the file went to that very path below the output folder, else the
    // place in _writtenPaths of its folder flag ('/' below the root, '.' below the output folder)
    // and path, ended by a zero.
    std::unordered_map<UInt64, UInt32> _writtenFiles;
    std::wstring _writtenPaths;
    static const UInt32 kWrittenAtArcPath = (UInt32)(Int32)-1;
    void RememberWrittenFile(const UString &itemPath);

    const CExtractOutDir &DirFor(bool inRoot) const { return inRoot ? _rootDir : _outDir; }
    static std::wstring DelayedLinkKey(bool inRoot, const UString &relPath);
    // Position of the first renamed file whose index is not below the given one.
    unsigned RenamedFileLowerBound(UInt32 index) const;
    bool ToRelPath(const UString &fullPath, UString &relPath, bool &inRoot) const;

    HRESULT MessageError(const char *message, const UString &path);
    HRESULT SendMessageError_with_Error(DWORD errorCode, const char *message, const UString &path);
    HRESULT SendMessageError2(const char *message, const UString &path1, const UString &path2);

    HRESULT GetTime(UInt32 index, PROPID propID, FILETIME &filetime, bool &filetimeIsDefined);
    HRESULT GetUnpackSize();
    void SetDirTimes(const CExtractOutDir &dir, const UString &relPath);
    // The first count parts joined by '/' (without the root part in absolute paths mode).
    static UString JoinDirParts(const UStringVector &parts, unsigned count, bool inRoot);
    HRESULT CheckExistFile(const UString &fullPath, bool &needExit);
    HRESULT GetExtractStream(const UString &fullPath, CMyComPtr<ISequentialOutStream> &outStreamLoc, bool &needExit);
    HRESULT MakeHardLink(const UString &target, const UString &fullPath, bool &handled);
    void ApplyAttribToFile();
    void ApplyAttribToDir();
    HRESULT CloseFile();
    void ReleaseOutFile();

public:
    // Removes the file of an item the handler stopped inside: an empty one always, one with data
    // only when the run failed or was cancelled (it is cut short, not the item).
    void DiscardUnfinishedFile(bool runFailed = false);
    CMyComPtr<IFolderExtractToStreamCallback> ExtractToStreamCallback;

    bool WriteCTime;
    bool WriteATime;
    bool WriteMTime;

    // Set by the agent after Init: paths become relative to that folder item.
    bool BaseParentFolderMode;
    UInt32 BaseParentFolderIndex;

    UInt64 NumFolders;
    UInt64 NumFiles;
    UInt64 NumAltStreams;
    UInt64 UnpackSize;
    UInt64 AltStreams_UnpackSize;
    // Items written other than stored (a changed name) or not written (a special file); each was
    // named in a message. A run with warnings does not end as a plain success.
    UInt64 NumWarnings;

    CArchiveExtractCallback();
    ~CArchiveExtractCallback() override;

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IArchiveExtractCallback)
    COM_QI_ENTRY(IArchiveExtractCallbackMessage)
    COM_QI_ENTRY(ICryptoGetTextPassword)
    COM_QI_ENTRY(ICompressProgressInfo)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT SetTotal(UInt64 size) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT GetStream(UInt32 index, ISequentialOutStream **outStream, Int32 askExtractMode) override;
    HRESULT PrepareOperation(Int32 askExtractMode) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT ReportExtractResult(UInt32 indexType, UInt32 index, Int32 opRes) override;
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;

    void InitForMulti(bool multiArchives, NExtract::NPathMode::EEnum pathMode,
                      NExtract::NOverwriteMode::EEnum overwriteMode);
    void SetHashMethods(IHashCalc *hash);

    void Init(const CExtractNtOptions &ntOptions, const NWildcard::CCensorNode *wildcardCensor, const CArc *arc,
              IFolderArchiveExtractCallback *extractCallback2, bool stdOutMode, bool testMode,
              const UString &directoryPath, const UStringVector &removePathParts, bool removePartsForAltStreams,
              UInt64 packSize);

    // The archive file's own time, for items that carry none.
    void SetArcMTime(const FILETIME *mTime) {
        _arcMTimeDefined = (mTime != nullptr);
        if (mTime) _arcMTime = *mTime;
    }

    UInt64 GetProgressInBase() const { return _localProgressSpec->InSize; }
    void SetProgressBases(UInt64 inBase, UInt64 outBase) {
        _localProgressSpec->InSize = inBase;
        _localProgressSpec->OutSize = outBase;
    }
    UInt64 GetProgressOutBase() const { return _localProgressSpec->OutSize; }

    // The symbolic links of this archive, then folder times, deepest first.
    HRESULT SetDirsTimes();
    // Turns this archive's link placeholders into links (or removes them); part of SetDirsTimes,
    // and also needed when the handler stopped early.
    HRESULT CreateDelayedLinks();
};
