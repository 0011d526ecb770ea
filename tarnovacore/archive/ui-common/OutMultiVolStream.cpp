#include "OutMultiVolStream.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/common/StreamUtils.h"
#include "common/IntToString.h"
#include "ArchiveTempFile.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows::NFile;

static UString GetVolumeName(const UString &prefix, unsigned index) {
    wchar_t temp[16];
    ConvertUInt32ToString(index + 1, temp);
    UString name(prefix);
    for (size_t len = wcslen(temp); len < 3; len++)
        name += L'0';
    name += temp;
    return name;
}

static void Unlist(CTempFiles *tempFiles, const UString &path) {
    if (!tempFiles) return;
    UStringVector &paths = tempFiles->Paths;
    for (unsigned k = paths.Size(); k != 0;)
        if (paths[--k] == path) {
            paths.Delete(k);
            return;
        }
}

HRESULT COutMultiVolStream::Close() {
    for (unsigned i = 0; i < Volumes.Size(); i++) {
        CAltStreamInfo &vol = Volumes[i];
        if (!vol.Unnamed || !vol.FileStream) continue;
        if (!vol.FileStream->File.LinkUnnamed(vol.Path)) {
            const int e = errno;
            // All or none: the volumes named so far go again.
            for (unsigned k = 0; k < i; k++)
                if (Volumes[k].Unnamed) NDir::DeleteFileAlways(Volumes[k].Path);
            for (unsigned k = 0; k < i; k++)
                if (Volumes[k].Unnamed) Unlist(TempFiles, Volumes[k].Path);
            return HRESULT_FROM_ERRNO(e);
        }
        if (TempFiles) TempFiles->Paths.Add(vol.Path);
    }
    for (unsigned i = 0; i < Volumes.Size(); i++)
        Volumes[i].Unnamed = false;
    HRESULT res = S_OK;
    for (unsigned i = 0; i < Volumes.Size(); i++) {
        COutFileStream *s = Volumes[i].FileStream;
        if (s) {
            const HRESULT res2 = s->Close();
            if (res2 != S_OK) res = res2;
        }
    }
    return res;
}

bool COutMultiVolStream::SetMTime(const FILETIME *mTime) {
    bool res = true;
    for (unsigned i = 0; i < Volumes.Size(); i++) {
        COutFileStream *s = Volumes[i].FileStream;
        if (s && !s->File.SetMTime(mTime)) res = false;
    }
    return res;
}

HRESULT COutMultiVolStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    if (Sizes.IsEmpty()) return E_FAIL;
    for (;;) {
        while (_streamIndex < Volumes.Size()) {
            const UInt64 volSize = VolumeSize(_streamIndex);
            if (_offsetInVolume >= volSize) {
                _offsetInVolume -= volSize;
                _streamIndex++;
                continue;
            }
            CAltStreamInfo &vol = Volumes[_streamIndex];
            if (_offsetInVolume != vol.FilePos) {
                RINOK(vol.Stream->Seek((Int64)_offsetInVolume, STREAM_SEEK_SET, nullptr))
                vol.FilePos = _offsetInVolume;
            }
            UInt32 cur = size;
            const UInt64 rem = volSize - vol.FilePos;
            if (cur > rem) cur = (UInt32)rem;
            UInt32 done = 0;
            RINOK(vol.Stream->Write(data, cur, &done))
            vol.FilePos += done;
            _offsetInVolume += done;
            _absPos += done;
            if (_length < _absPos) _length = _absPos;
            if (vol.DataSize < _offsetInVolume) vol.DataSize = _offsetInVolume;
            if (processedSize) *processedSize += done;
            if (vol.FilePos == volSize) {
                _streamIndex++;
                _offsetInVolume = 0;
            }
            if (cur != 0 && done == 0) return E_FAIL;
            return S_OK;
        }

        CAltStreamInfo &vol = Volumes.AddNew();
        vol.Path = GetVolumeName(Prefix, _streamIndex);
        COutFileStream *impl = new COutFileStream;
        CMyComPtr<IOutStream> holder = impl;
        // A name that is taken is refused now, not after the whole archive was written.
        struct stat st;
        const AString osPath = NName::GetOsPath(vol.Path);
        if (lstat(osPath, &st) == 0) {
            Volumes.DeleteBack();
            return HRESULT_FROM_ERRNO(EEXIST);
        }
        UString folder = vol.Path;
        folder.DeleteFrom((unsigned)(folder.ReverseFind_PathSepar() + 1));
        if (CArchiveTempFile::CreateUnnamedFile(impl->File, folder)) {
            vol.Unnamed = true;
        } else {
            if (!impl->File.Create(vol.Path, false)) {
                const int e = errno;
                Volumes.DeleteBack();
                return HRESULT_FROM_ERRNO(e);
            }
            if (TempFiles) TempFiles->Paths.Add(vol.Path);
        }
        vol.FileStream = impl;
        vol.Stream = holder;
    }
}

HRESULT COutMultiVolStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    UInt64 pos = 0;
    // A refused position leaves everything as it was; taking it would send the next write
    // through endless empty volumes.
    RINOK(ComputeSeekPosition(offset, seekOrigin, _absPos, _length, pos))
    _absPos = pos;
    _offsetInVolume = pos;
    _streamIndex = 0;
    if (newPosition) *newPosition = pos;
    return S_OK;
}

HRESULT COutMultiVolStream::SetSize(UInt64 newSize) {
    unsigned i = 0;
    UInt64 rem = newSize;
    while (i < Volumes.Size()) {
        CAltStreamInfo &vol = Volumes[i];
        if (rem < vol.DataSize) {
            RINOK(vol.Stream->SetSize(rem))
            vol.DataSize = rem;
            i++;
            while (i < Volumes.Size()) {
                CAltStreamInfo &last = Volumes.Back();
                last.Stream.Release();
                if (!last.Unnamed) NDir::DeleteFileAlways(last.Path);
                Unlist(TempFiles, last.Path);
                Volumes.DeleteBack();
            }
            break;
        }
        rem -= vol.DataSize;
        i++;
    }
    _offsetInVolume = _absPos;
    _streamIndex = 0;
    _length = newSize;
    return S_OK;
}
