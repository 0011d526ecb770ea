#pragma once

// The registry of what the codec and format plug-ins offer: the main plug-in and every library
// of the Codecs/ and Formats/ folders beside it, their compression methods, hash methods and
// archive formats.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/common/RegisterArc.h"
#include "common/Buffer.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"
#include "windows/DLL.h"

struct CExtIconPair {
    UString Ext;
    int IconIndex;
    CExtIconPair() : IconIndex(0) {}
};

// The program shows no icons of its own for archive types, so the lists stay empty.
struct CCodecIcons {
    CObjectVector<CExtIconPair> IconPairs;

    void LoadIcons(const NWindows::NDLL::CLibrary &) {}
    bool FindIconIndex(const UString &, int &) const { return false; }
};

struct CCodecLib : public CCodecIcons {
    NWindows::NDLL::CLibrary Lib;
    UString Path;
    Func_CreateObject CreateObject;
    Func_GetMethodProperty GetMethodProperty;
    Func_CreateDecoder CreateDecoder;
    Func_CreateEncoder CreateEncoder;
    Func_SetCodecs SetCodecs;
    CMyComPtr<IHashers> LibHashers;

    CCodecLib()
        : CreateObject(nullptr), GetMethodProperty(nullptr), CreateDecoder(nullptr), CreateEncoder(nullptr),
          SetCodecs(nullptr) {}
    CCodecLib(const CCodecLib &) = delete;
    CCodecLib &operator=(const CCodecLib &) = delete;
    // The hashers object lives in the library: release it before the library goes.
    ~CCodecLib() {
        LibHashers.Release();
        Path.Empty();
        Lib.Free();
    }
};

struct CArcExtInfo {
    UString Ext;
    // The extension the library pairs with Ext ("tgz" with "tar"); empty when none.
    UString PairedExt;

    CArcExtInfo() {}
    CArcExtInfo(const UString &ext, const UString &pairedExt) : Ext(ext), PairedExt(pairedExt) {}
};

struct CArcInfoEx {
    UInt32 Flags;
    Func_CreateInArchive CreateInHandler;
    Func_IsArc IsArcTest;
    UString Name;
    CObjectVector<CArcExtInfo> Exts;
    Func_CreateOutArchive CreateOutHandler;
    bool CanWrite;
    bool FlagsDefined;
    UInt32 SignatureOffset;
    CObjectVector<CByteBuffer> Signatures;
    UStringVector AssocExts;
    // Negative for a format built into the program.
    int LibIndex;
    UInt32 FormatIndex;
    GUID ClassId;

    CArcInfoEx()
        : Flags(0), CreateInHandler(nullptr), IsArcTest(nullptr), CreateOutHandler(nullptr), CanWrite(false),
          FlagsDefined(false), SignatureOffset(0), LibIndex(-1), FormatIndex(0), ClassId() {}

    UString GetMainExt() const {
        if (Exts.IsEmpty()) return UString();
        return Exts[0].Ext;
    }
    // Index in Exts of the first extension equal to ext ignoring case, or -1.
    int FindExtension(const UString &ext) const;
    // Space-separated lists matched by position; a paired "*" means none.
    void AddExts(const UString &exts, const UString &addExts);
};

struct CLibCodecRef {
    UInt32 LibIndex;
    UInt32 LibCodecIndex;
    bool HasEncoder;
    bool HasDecoder;
    GUID EncoderClassId;
    GUID DecoderClassId;
};

struct CLibHasherRef {
    UInt32 LibIndex;
    UInt32 LibHasherIndex;
};

// A signature list: a length byte and that many bytes, repeated. False when the data ends inside
// a record; the records before it are kept.
bool ParseSignatures(const Byte *p, size_t size, CObjectVector<CByteBuffer> &signatures);

class CCodecs : public ICompressCodecsInfo, public IHashers, public CMyUnknownImp {
public:
    CObjectVector<CCodecLib> Libs;
    // "7z.dll" when the last Load could not load the main plug-in.
    UString FailedMainModule;
    bool PassCodecsToLibs;
    CCodecIcons BuiltInIcons;
    CObjectVector<CArcInfoEx> Formats;
    CRecordVector<CLibCodecRef> Codecs;
    CRecordVector<CLibHasherRef> Hashers;
    bool CaseSensitiveSet;
    bool CaseSensitive;

    CCodecs() : PassCodecsToLibs(true), CaseSensitiveSet(false), CaseSensitive(false) {}
    CCodecs(const CCodecs &) = delete;
    CCodecs &operator=(const CCodecs &) = delete;

    COM_UNKNOWN_IMP(ICompressCodecsInfo, IHashers)

    HRESULT GetNumMethods(UInt32 *numMethods) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT CreateDecoder(UInt32 index, const GUID *iid, void **coder) override;
    HRESULT CreateEncoder(UInt32 index, const GUID *iid, void **coder) override;

    UInt32 GetNumHashers() override;
    HRESULT GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT CreateHasher(UInt32 index, IHasher **hasher) override;

    // Finds the plug-ins and fills the tables. Load once, or CloseLibs first.
    HRESULT Load();
    // Takes the registry back from the libraries that were given it, then unloads them all.
    // The tables stay but refer to nothing: drop the registry afterwards.
    void CloseLibs();

    int FindFormatForArchiveName(const UString &arcPath) const;
    int FindFormatForExtension(const UString &ext) const;
    int FindFormatForArchiveType(const UString &arcType) const;
    // Dot-separated names; "*" stands for any format and gives -1.
    bool FindFormatForArchiveType(const UString &arcType, CRecordVector<int> &formatIndices) const;

    // A new handler of the format, through its library's CreateObject or its built-in creator.
    // S_OK with a null object when the format has no such handler.
    HRESULT CreateInArchive(unsigned formatIndex, CMyComPtr<IInArchive> &archive) const;
    HRESULT CreateOutArchive(unsigned formatIndex, CMyComPtr<IOutArchive> &archive) const;

    int GetCodec_LibIndex(UInt32 index) const;
    bool GetCodec_DecoderIsAssigned(UInt32 index) const;
    bool GetCodec_EncoderIsAssigned(UInt32 index) const;
    UInt32 GetCodec_NumStreams(UInt32 index);
    HRESULT GetCodec_Id(UInt32 index, UInt64 &id);
    AString GetCodec_Name(UInt32 index);

    int GetHasherLibIndex(UInt32 index) const;
    UInt64 GetHasherId(UInt32 index);
    AString GetHasherName(UInt32 index);
    UInt32 GetHasherDigestSize(UInt32 index);

private:
    // The library of an index-table entry, or null after CloseLibs.
    const CCodecLib *LibOf(UInt32 libIndex) const { return libIndex < Libs.Size() ? &Libs[libIndex] : nullptr; }
    HRESULT LoadCodecs();
    HRESULT LoadFormats();
    HRESULT LoadDll(const UString &dllPath, bool fromFolder, bool *loadedOK);
    HRESULT LoadDllsFromFolder(const UString &folderPrefix);
};
