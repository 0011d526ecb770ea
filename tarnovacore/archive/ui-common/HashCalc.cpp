#include "HashCalc.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "EnumDirItems.h"
#include "archive/common/MethodProps.h"
#include "archive/common/StreamUtils.h"
#include "base/Alloc.h"
#include "windows/FileIO.h"

namespace {

// Little-endian addition; the last carry is dropped.
void AddDigests(Byte *dest, const Byte *src, UInt32 size) {
    unsigned carry = 0;
    for (UInt32 i = 0; i < size; i++) {
        carry += (unsigned)dest[i] + src[i];
        dest[i] = (Byte)carry;
        carry >>= 8;
    }
}

class CBigBuffer {
    void *_p;

public:
    explicit CBigBuffer(size_t size) : _p(BigAlloc(size)) {}
    ~CBigBuffer() { BigFree(_p); }
    CBigBuffer(const CBigBuffer &) = delete;
    CBigBuffer &operator=(const CBigBuffer &) = delete;
    Byte *Get() const { return (Byte *)_p; }
};

const UInt32 kBufSize = 1 << 15;

HRESULT ErrnoResult() {
    const int e = errno;
    return e == 0 ? E_FAIL : HRESULT_FROM_ERRNO(e);
}

} // namespace

HRESULT CHashBundle::SetMethods(const CExternalCodecs *externalCodecs, const UStringVector &hashMethods) {
    UStringVector names = hashMethods;
    if (names.IsEmpty()) names.Add(UString(L"CRC32"));

    CRecordVector<UInt64> ids;
    CObjectVector<COneMethodInfo> methods;

    for (unsigned i = 0; i < names.Size(); i++) {
        COneMethodInfo m;
        RINOK(m.ParseMethodFromString(names[i]));
        if (m.MethodName.IsEmpty()) m.MethodName = "CRC32";

        if (m.MethodName == "*") {
            CRecordVector<UInt64> allIds;
            GetHashMethods(externalCodecs, allIds);
            ids.Clear();
            methods.Clear();
            for (unsigned k = 0; k < allIds.Size(); k++) {
                const unsigned pos = ids.AddToUniqueSorted(allIds[k]);
                if (ids.Size() != methods.Size()) methods.Insert(pos, m);
            }
            break;
        }

        UInt64 id;
        if (!FindHashMethod(externalCodecs, m.MethodName, id)) return E_NOTIMPL;
        const unsigned sizeBefore = ids.Size();
        const unsigned pos = ids.AddToUniqueSorted(id);
        if (ids.Size() != sizeBefore) methods.Insert(pos, m);
    }

    Hashers.Clear();
    for (unsigned i = 0; i < ids.Size(); i++) {
        CMyComPtr<IHasher> hasher;
        AString name;
        RINOK(CreateHasher(externalCodecs, ids[i], name, hasher));
        if (!hasher) throw "Can't create hasher";
        {
            CMyComPtr<ICompressSetCoderProperties> scp;
            hasher.QueryInterface(IID_ICompressSetCoderProperties, &scp);
            if (scp) RINOK(methods[i].SetCoderProps(scp, nullptr));
        }
        const UInt32 digestSize = hasher->GetDigestSize();
        if (digestSize > k_HashCalc_DigestSize_Max) return E_NOTIMPL;
        CHasherState &h = Hashers.AddNew();
        h.Hasher = hasher;
        h.Name = name;
        h.DigestSize = digestSize;
        memset(h.Digests, 0, sizeof(h.Digests));
    }
    return S_OK;
}

void CHashBundle::InitForNewFile() {
    CurSize = 0;
    for (unsigned i = 0; i < Hashers.Size(); i++) {
        CHasherState &h = Hashers[i];
        h.Hasher->Init();
        memset(h.Digests[k_HashCalc_Index_Current], 0, h.DigestSize);
    }
}

void CHashBundle::Update(const void *data, UInt32 size) {
    CurSize += size;
    for (unsigned i = 0; i < Hashers.Size(); i++)
        Hashers[i].Hasher->Update(data, size);
}

void CHashBundle::SetSize(UInt64 size) {
    CurSize = size;
}

void CHashBundle::Final(bool isDir, bool isAltStream, const UString &path) {
    if (isDir)
        NumDirs++;
    else if (isAltStream) {
        NumAltStreams++;
        AltStreamsSize += CurSize;
    } else {
        NumFiles++;
        FilesSize += CurSize;
    }

    Byte pre[16];
    memset(pre, 0, sizeof(pre));
    if (isDir) pre[0] = 1;

    // The name goes in as two bytes a character, low byte first, whatever wchar_t is.
    CByteVector nameBytes;
    nameBytes.ClearAndSetSize(path.Len() * 2);
    for (unsigned k = 0; k < path.Len(); k++) {
        const UInt32 c = (UInt32)path[k];
        nameBytes[k * 2] = (Byte)c;
        nameBytes[k * 2 + 1] = (Byte)(c >> 8);
    }

    for (unsigned i = 0; i < Hashers.Size(); i++) {
        CHasherState &h = Hashers[i];
        if (!isDir) {
            h.Hasher->Final(h.Digests[k_HashCalc_Index_Current]);
            if (!isAltStream)
                AddDigests(h.Digests[k_HashCalc_Index_DataSum], h.Digests[k_HashCalc_Index_Current], h.DigestSize);
        }
        h.Hasher->Init();
        h.Hasher->Update(pre, sizeof(pre));
        h.Hasher->Update(h.Digests[k_HashCalc_Index_Current], h.DigestSize);
        if (nameBytes.Size() != 0) h.Hasher->Update(&nameBytes[0], nameBytes.Size());
        Byte temp[k_HashCalc_DigestSize_Max];
        h.Hasher->Final(temp);
        if (!isAltStream) AddDigests(h.Digests[k_HashCalc_Index_NamesSum], temp, h.DigestSize);
        AddDigests(h.Digests[k_HashCalc_Index_StreamsSum], temp, h.DigestSize);
    }
}

HRESULT HashCalc(const CExternalCodecs *externalCodecs, const NWildcard::CCensor &censor, const CHashOptions &options,
                 AString &errorInfo, IHashCallbackUI *callback) {
    CDirItems dirItems;
    dirItems.Callback = callback;

    if (options.StdInMode) {
        CDirItem di;
        di.Size = (UInt64)(Int64)-1;
        dirItems.Items.Add(di);
    } else {
        RINOK(callback->StartScanning());
        dirItems.ScanAltStreams = options.AltStreamsMode;
        const HRESULT res = EnumerateItems(censor, options.PathMode, UString(), dirItems);
        if (res != S_OK) {
            if (res != E_ABORT) errorInfo = "Scanning error";
            return res;
        }
        RINOK(callback->FinishScanning(dirItems.Stat));
    }

    CHashBundle hb;
    RINOK(hb.SetMethods(externalCodecs, options.Methods));
    hb.Init();
    hb.NumErrors = dirItems.Stat.NumErrors;

    if (options.StdInMode) {
        RINOK(callback->SetNumFiles(1));
    } else {
        RINOK(callback->SetTotal(dirItems.Stat.GetTotalBytes()));
    }

    CBigBuffer buf(kBufSize);
    if (!buf.Get()) return E_OUTOFMEMORY;

    RINOK(callback->BeforeFirstFile(hb));

    UInt64 completeValue = 0;
    for (unsigned i = 0; i < dirItems.Items.Size(); i++) {
        NWindows::NFile::NIO::CInFile inFile;
        UString path;
        bool isDir = false;
        bool isAltStream = false;
        if (!options.StdInMode) {
            const CDirItem &di = dirItems.Items[i];
            isDir = di.IsDir();
            isAltStream = di.IsAltStream;
            path = dirItems.GetLogPath(i);
            if (!isDir) {
                const UString phyPath = dirItems.GetPhyPath(i);
                if (!inFile.Open(phyPath)) {
                    const DWORD error = (DWORD)errno;
                    const HRESULT res = callback->OpenFileError(phyPath, error);
                    hb.NumErrors++;
                    if (res != S_FALSE) return res;
                    continue;
                }
            }
        }
        RINOK(callback->GetStream(path, isDir));
        hb.InitForNewFile();
        UInt64 fileSize = 0;
        if (!isDir) {
            for (UInt32 step = 0;; step++) {
                if ((step & 0xFF) == 0) RINOK(callback->SetCompleted(&completeValue));
                UInt32 size = 0;
                if (options.StdInMode) {
                    ssize_t n;
                    do
                        n = read(0, buf.Get(), kBufSize);
                    while (n < 0 && errno == EINTR);
                    if (n < 0) return ErrnoResult();
                    size = (UInt32)n;
                } else if (!inFile.Read(buf.Get(), kBufSize, size))
                    return ErrnoResult();
                if (size == 0) break;
                hb.Update(buf.Get(), size);
                fileSize += size;
                completeValue += size;
            }
        }
        hb.Final(isDir, isAltStream, path);
        RINOK(callback->SetOperationResult(fileSize, hb, !isDir));
        RINOK(callback->SetCompleted(&completeValue));
    }
    return callback->AfterLastFile(hb);
}

void AddHashHexToString(char *dest, const Byte *data, UInt32 size) {
    static const char kHex[] = "0123456789ABCDEF";
    dest[size * 2] = 0;
    if (!data) {
        for (UInt32 i = 0; i < size; i++) {
            dest[i * 2] = ' ';
            dest[i * 2 + 1] = ' ';
        }
        return;
    }
    for (UInt32 i = 0; i < size; i++) {
        // Short digests are stored low byte first, so they read as their number backwards.
        const Byte b = size <= 8 ? data[size - 1 - i] : data[i];
        dest[i * 2] = kHex[b >> 4];
        dest[i * 2 + 1] = kHex[b & 15];
    }
}
