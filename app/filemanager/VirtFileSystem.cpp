#include "VirtFileSystem.h"

#include <string.h>

#include "archive/common/StreamUtils.h"
#include "base/Alloc.h"
#include "windows/FileDir.h"

CVirtFile::~CVirtFile() {
    MyFree(Data);
}

CVirtFile &CVirtFileSystem::AddNewFile() {
    // A finished file keeps its buffer: that part of the budget is spent.
    if (!Files.IsEmpty()) MaxTotalAllocSize -= Files.Back().Size;
    return Files.AddNew();
}

HRESULT CVirtFileSystem::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    if (!_fileMode && !Files.IsEmpty()) {
        CVirtFile &file = Files.Back();
        if (file.Size - file.WrittenSize >= size) {
            memcpy(file.Data + file.WrittenSize, data, size);
            file.WrittenSize += size;
            if (processedSize) *processedSize = size;
            return S_OK;
        }
        UInt64 newSize = file.WrittenSize + size;
        if (newSize < file.Size * 2) newSize = file.Size * 2;
        if (file.Size == 0 && newSize < file.ExpectSize) newSize = file.ExpectSize;
        if (newSize <= MaxTotalAllocSize && newSize == (size_t)newSize) {
            Byte *block = (Byte *)MyAlloc((size_t)newSize);
            if (block) {
                if (file.WrittenSize != 0) memcpy(block, file.Data, (size_t)file.WrittenSize);
                MyFree(file.Data);
                file.Data = block;
                file.Size = newSize;
                memcpy(file.Data + file.WrittenSize, data, size);
                file.WrittenSize += size;
                if (processedSize) *processedSize = size;
                return S_OK;
            }
        }
    }
    _fileMode = true;
    RINOK(FlushToDisk(false));
    if (!_outFileStream) return E_FAIL;
    return _outFileStream->Write(data, size, processedSize);
}

HRESULT CVirtFileSystem::CloseMemFile() {
    if (_fileMode) return FlushToDisk(true);
    if (Files.IsEmpty()) return S_OK;
    CVirtFile &file = Files.Back();
    if (file.Size != file.WrittenSize && file.WrittenSize != 0) {
        Byte *block = (Byte *)MyAlloc((size_t)file.WrittenSize);
        if (block) {
            memcpy(block, file.Data, (size_t)file.WrittenSize);
            MyFree(file.Data);
            file.Data = block;
            file.Size = file.WrittenSize;
        }
    }
    return S_OK;
}

bool CVirtFileSystem::GetDiskName(const UString &name, UString &diskName) {
    diskName.Empty();
    UString last = name;
    const int slash = last.ReverseFind_PathSepar();
    if (slash >= 0) last.DeleteFrontal((unsigned)slash + 1);
    if (last.IsEmpty() || last == L"." || last == L"..") return false;
    diskName = last;
    return true;
}

HRESULT CVirtFileSystem::FlushToDisk(bool closeLast) {
    if (!_outFileStream) {
        _outFileStreamSpec = new COutFileStream;
        _outFileStream = _outFileStreamSpec;
    }
    while (_numFlushed < Files.Size()) {
        const CVirtFile &file = Files[_numFlushed];
        UString diskName;
        // Names come from the archive: nothing may land outside the folder.
        if (!GetDiskName(file.Name, diskName)) return E_INVALIDARG;
        const UString path = DirPrefix + diskName;
        if (!_fileIsOpen) {
            _outFileStreamSpec->ProcessedSize = 0;
            if (!_outFileStreamSpec->Create(path, true)) {
                _outFileStream.Release();
                _outFileStreamSpec = nullptr;
                return E_FAIL;
            }
            _fileIsOpen = true;
            RINOK(WriteStream(_outFileStream, file.Data, (size_t)file.WrittenSize));
        }
        if (_numFlushed == Files.Size() - 1 && !closeLast) break;
        if (file.CTimeDefined || file.ATimeDefined || file.MTimeDefined)
            _outFileStreamSpec->SetTime(file.CTimeDefined ? &file.CTime : nullptr,
                                        file.ATimeDefined ? &file.ATime : nullptr,
                                        file.MTimeDefined ? &file.MTime : nullptr);
        RINOK(_outFileStreamSpec->Close());
        _numFlushed++;
        _fileIsOpen = false;
        if (file.AttribDefined) NWindows::NFile::NDir::SetFileAttrib(path, file.Attrib);
    }
    return S_OK;
}
