#pragma once

// An extraction target in memory: one growing buffer per extracted file within a memory budget.
// When the budget or an allocation runs out it switches for good to writing the files into a
// disk folder (the caller's temporary folder), earlier files first.
#include "archive/IStream.h"
#include "archive/common/OutFileStream.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"

struct CVirtFile {
    Byte *Data = nullptr;
    UInt64 Size = 0; // capacity of Data
    UInt64 WrittenSize = 0;
    UInt64 ExpectSize = 0; // from the archive; 0 when unknown
    UString Name;
    bool CTimeDefined = false;
    bool ATimeDefined = false;
    bool MTimeDefined = false;
    bool AttribDefined = false;
    bool IsDir = false;
    bool IsAltStream = false;
    DWORD Attrib = 0;
    FILETIME CTime = {0, 0};
    FILETIME ATime = {0, 0};
    FILETIME MTime = {0, 0};

    CVirtFile() = default;
    CVirtFile(const CVirtFile &) = delete;
    CVirtFile &operator=(const CVirtFile &) = delete;
    ~CVirtFile();
};

class CVirtFileSystem : public ISequentialOutStream, public CMyUnknownImp {
    UInt64 _totalAllocSize = 0;
    size_t _pos = 0;
    unsigned _numFlushed = 0;
    bool _fileIsOpen = false;
    bool _fileMode = false;
    COutFileStream *_outFileStreamSpec = nullptr;
    CMyComPtr<ISequentialOutStream> _outFileStream;

public:
    CObjectVector<CVirtFile> Files;
    UInt64 MaxTotalAllocSize = (UInt64)(Int64)-1; // the memory budget
    UString DirPrefix;                            // the disk folder, with a trailing separator

    COM_UNKNOWN_IMP_0(ISequentialOutStream)

    void Init() {
        _totalAllocSize = 0;
        _pos = 0;
        _numFlushed = 0;
        _fileIsOpen = false;
        _fileMode = false;
    }

    bool IsFileMode() const { return _fileMode; }
    unsigned NumFlushed() const { return _numFlushed; }

    CVirtFile &AddNewFile();
    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT CloseMemFile();
    HRESULT FlushToDisk(bool closeLast);

    // The name a file gets inside DirPrefix: its last path component only. False for a name
    // that would leave the folder or names nothing (empty, "." or "..").
    static bool GetDiskName(const UString &name, UString &diskName);
};
