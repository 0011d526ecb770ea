#include "LoadCodecs.h"

#include "archive/common/StreamUtils.h"
#include "base/Alloc.h"
#include "windows/FileFind.h"
#include "windows/PropVariant.h"

using NWindows::NCOM::CPropVariant;

namespace {

const wchar_t *const kMainDll = L"7z.dll";
const wchar_t *const kCodecsFolderName = L"Codecs/";
const wchar_t *const kFormatsFolderName = L"Formats/";

template <class F> F GetProcOf(const NWindows::NDLL::CLibrary &lib, const char *name) {
    return reinterpret_cast<F>(lib.GetProc(name));
}

UString BstrText(const PROPVARIANT &prop) {
    UString s;
    if (prop.bstrVal) s = prop.bstrVal;
    return s;
}

// Splits at spaces; runs of spaces separate words and no word is empty.
void SplitString(const UString &srcString, UStringVector &destStrings) {
    destStrings.Clear();
    unsigned i = 0;
    const unsigned len = srcString.Len();
    while (i < len) {
        while (i < len && srcString[i] == L' ')
            i++;
        const unsigned start = i;
        while (i < len && srcString[i] != L' ')
            i++;
        if (i != start) destStrings.Add(srcString.Mid(start, i - start));
    }
}

// A class id: a BSTR whose byte length is 16. Empty means not assigned.
HRESULT ReadClassId(Func_GetMethodProperty getMethodProperty, UInt32 index, PROPID propId, GUID &clsId,
                    bool &isAssigned) {
    CPropVariant prop;
    isAssigned = false;
    RINOK(getMethodProperty(index, propId, &prop));
    if (prop.vt == VT_EMPTY) return S_OK;
    if (prop.vt != VT_BSTR || ::SysStringByteLen(prop.bstrVal) != sizeof(GUID)) return E_FAIL;
    isAssigned = true;
    memcpy(&clsId, prop.bstrVal, sizeof(GUID));
    return S_OK;
}

// The properties of one format, through GetHandlerProperty2 or, for a single format, through
// GetHandlerProperty. Every typed read leaves the target at its default for an empty value and
// answers E_FAIL for a value of another type.
class CFormatProps {
    Func_GetHandlerProperty2 _getProp2;
    Func_GetHandlerProperty _getProp;
    UInt32 _index;

public:
    CFormatProps(Func_GetHandlerProperty2 getProp2, Func_GetHandlerProperty getProp, UInt32 index)
        : _getProp2(getProp2), _getProp(getProp), _index(index) {}

    HRESULT Get(PROPID propId, PROPVARIANT *value) const {
        return _getProp2 ? _getProp2(_index, propId, value) : _getProp(propId, value);
    }

    HRESULT GetString(PROPID propId, UString &res) const {
        res.Empty();
        CPropVariant prop;
        RINOK(Get(propId, &prop));
        if (prop.vt == VT_BSTR)
            res = BstrText(prop);
        else if (prop.vt != VT_EMPTY)
            return E_FAIL;
        return S_OK;
    }

    HRESULT GetBool(PROPID propId, bool &res) const {
        CPropVariant prop;
        RINOK(Get(propId, &prop));
        if (prop.vt == VT_BOOL)
            res = (prop.boolVal != VARIANT_FALSE);
        else if (prop.vt != VT_EMPTY)
            return E_FAIL;
        return S_OK;
    }

    HRESULT GetUInt32(PROPID propId, UInt32 &res, bool &defined) const {
        defined = false;
        CPropVariant prop;
        RINOK(Get(propId, &prop));
        if (prop.vt == VT_UI4) {
            res = prop.ulVal;
            defined = true;
        } else if (prop.vt != VT_EMPTY)
            return E_FAIL;
        return S_OK;
    }

    HRESULT GetRawBytes(PROPID propId, CByteBuffer &bytes) const {
        bytes.Free();
        CPropVariant prop;
        RINOK(Get(propId, &prop));
        if (prop.vt == VT_BSTR)
            bytes.CopyFrom(reinterpret_cast<const Byte *>(prop.bstrVal), ::SysStringByteLen(prop.bstrVal));
        else if (prop.vt != VT_EMPTY)
            return E_FAIL;
        return S_OK;
    }
};

// Without a flag word, these booleans give its first three bits.
const struct {
    PROPID PropId;
    UInt32 Flag;
} kArcFlagsPars[] = {{NArchive::NHandlerPropID::kKeepName, NArcInfoFlags::kKeepName},
                     {NArchive::NHandlerPropID::kAltStreams, NArcInfoFlags::kAltStreams},
                     {NArchive::NHandlerPropID::kNtSecure, NArcInfoFlags::kNtSecure}};

} // namespace

bool ParseSignatures(const Byte *p, size_t size, CObjectVector<CByteBuffer> &signatures) {
    signatures.Clear();
    while (size != 0) {
        const unsigned len = *p++;
        size--;
        if (size < len) return false;
        signatures.AddNew().CopyFrom(p, len);
        p += len;
        size -= len;
    }
    return true;
}

int CArcInfoEx::FindExtension(const UString &ext) const {
    for (unsigned i = 0; i < Exts.Size(); i++)
        if (ext.IsEqualTo_NoCase(Exts[i].Ext)) return (int)i;
    return -1;
}

void CArcInfoEx::AddExts(const UString &exts, const UString &addExts) {
    UStringVector exts1, exts2;
    SplitString(exts, exts1);
    SplitString(addExts, exts2);
    for (unsigned i = 0; i < exts1.Size(); i++) {
        CArcExtInfo extInfo;
        extInfo.Ext = exts1[i];
        if (i < exts2.Size()) {
            extInfo.PairedExt = exts2[i];
            if (extInfo.PairedExt == L"*") extInfo.PairedExt.Empty();
        }
        Exts.Add(extInfo);
    }
}

HRESULT CCodecs::LoadCodecs() {
    const UInt32 libIndex = Libs.Size() - 1;
    CCodecLib &lib = Libs.Back();

    lib.CreateDecoder = GetProcOf<Func_CreateDecoder>(lib.Lib, "CreateDecoder");
    lib.CreateEncoder = GetProcOf<Func_CreateEncoder>(lib.Lib, "CreateEncoder");
    lib.GetMethodProperty = GetProcOf<Func_GetMethodProperty>(lib.Lib, "GetMethodProperty");

    if (lib.GetMethodProperty) {
        UInt32 numMethods = 1;
        const Func_GetNumberOfMethods getNumberOfMethods =
            GetProcOf<Func_GetNumberOfMethods>(lib.Lib, "GetNumberOfMethods");
        if (getNumberOfMethods) RINOK(getNumberOfMethods(&numMethods));
        for (UInt32 i = 0; i < numMethods; i++) {
            CLibCodecRef info;
            info.LibIndex = libIndex;
            info.LibCodecIndex = i;
            info.EncoderClassId = GUID();
            info.DecoderClassId = GUID();
            RINOK(ReadClassId(lib.GetMethodProperty, i, NMethodPropID::kEncoder, info.EncoderClassId, info.HasEncoder));
            RINOK(ReadClassId(lib.GetMethodProperty, i, NMethodPropID::kDecoder, info.DecoderClassId, info.HasDecoder));
            Codecs.Add(info);
        }
    }

    const Func_GetHashers getHashers = GetProcOf<Func_GetHashers>(lib.Lib, "GetHashers");
    if (!getHashers) return S_OK;
    IHashers *hashers = nullptr;
    const HRESULT res = getHashers(&hashers);
    lib.LibHashers.Attach(hashers);
    if (res != S_OK) return res;
    if (!lib.LibHashers) return S_OK;
    const UInt32 numHashers = lib.LibHashers->GetNumHashers();
    for (UInt32 i = 0; i < numHashers; i++) {
        CLibHasherRef info;
        info.LibIndex = libIndex;
        info.LibHasherIndex = i;
        Hashers.Add(info);
    }
    return S_OK;
}

HRESULT CCodecs::LoadFormats() {
    const int libIndex = (int)Libs.Size() - 1;
    const NWindows::NDLL::CLibrary &lib = Libs.Back().Lib;

    const Func_GetHandlerProperty2 getProp2 = GetProcOf<Func_GetHandlerProperty2>(lib, "GetHandlerProperty2");
    const Func_GetIsArc getIsArc = GetProcOf<Func_GetIsArc>(lib, "GetIsArc");
    Func_GetHandlerProperty getProp = nullptr;

    UInt32 numFormats = 1;
    if (getProp2) {
        const Func_GetNumberOfFormats getNumberOfFormats =
            GetProcOf<Func_GetNumberOfFormats>(lib, "GetNumberOfFormats");
        if (getNumberOfFormats) RINOK(getNumberOfFormats(&numFormats));
    } else {
        getProp = GetProcOf<Func_GetHandlerProperty>(lib, "GetHandlerProperty");
        if (!getProp) return S_OK;
    }

    for (UInt32 i = 0; i < numFormats; i++) {
        const CFormatProps props(getProp2, getProp, i);
        CArcInfoEx item;
        item.LibIndex = libIndex;
        item.FormatIndex = i;

        RINOK(props.GetString(NArchive::NHandlerPropID::kName, item.Name));

        {
            CPropVariant prop;
            if (props.Get(NArchive::NHandlerPropID::kClassID, &prop) != S_OK) continue;
            if (prop.vt != VT_BSTR) continue;
            if (::SysStringByteLen(prop.bstrVal) != sizeof(GUID)) return E_FAIL;
            memcpy(&item.ClassId, prop.bstrVal, sizeof(GUID));
        }

        UString ext, addExt;
        RINOK(props.GetString(NArchive::NHandlerPropID::kExtension, ext));
        RINOK(props.GetString(NArchive::NHandlerPropID::kAddExtension, addExt));
        item.AddExts(ext, addExt);

        // A writer flag that cannot be read just leaves the format read-only.
        bool canWrite = false;
        if (props.GetBool(NArchive::NHandlerPropID::kUpdate, canWrite) == S_OK) item.CanWrite = canWrite;

        RINOK(props.GetUInt32(NArchive::NHandlerPropID::kFlags, item.Flags, item.FlagsDefined));
        if (!item.FlagsDefined) {
            for (const auto &par : kArcFlagsPars) {
                bool val = false;
                if (props.GetBool(par.PropId, val) == S_OK && val) item.Flags |= par.Flag;
            }
        }

        CByteBuffer sig;
        RINOK(props.GetRawBytes(NArchive::NHandlerPropID::kSignature, sig));
        if (sig.Size() != 0)
            item.Signatures.Add(sig);
        else {
            RINOK(props.GetRawBytes(NArchive::NHandlerPropID::kMultiSignature, sig));
            // A malformed tail is dropped; the signatures before it stay.
            ParseSignatures(sig, sig.Size(), item.Signatures);
        }

        bool offsetDefined;
        RINOK(props.GetUInt32(NArchive::NHandlerPropID::kSignatureOffset, item.SignatureOffset, offsetDefined));

        if (getIsArc) getIsArc(i, &item.IsArcTest);

        Formats.Add(item);
    }
    return S_OK;
}

HRESULT CCodecs::LoadDll(const UString &dllPath, bool /* fromFolder */, bool *loadedOK) {
    if (loadedOK) *loadedOK = false;

    CCodecLib &lib = Libs.AddNew();
    lib.Path = dllPath;
    if (!lib.Lib.Load(dllPath)) {
        Libs.DeleteBack();
        return S_OK;
    }
    if (loadedOK) *loadedOK = true;

    lib.LoadIcons(lib.Lib);
    if (g_LargePageSize != 0) {
        const Func_SetLargePageMode setLargePageMode = GetProcOf<Func_SetLargePageMode>(lib.Lib, "SetLargePageMode");
        if (setLargePageMode) setLargePageMode();
    }
    if (CaseSensitiveSet) {
        const Func_SetCaseSensitive setCaseSensitive = GetProcOf<Func_SetCaseSensitive>(lib.Lib, "SetCaseSensitive");
        if (setCaseSensitive) setCaseSensitive(CaseSensitive ? 1 : 0);
    }

    lib.CreateObject = GetProcOf<Func_CreateObject>(lib.Lib, "CreateObject");
    if (!lib.CreateObject) {
        Libs.DeleteBack();
        return S_OK;
    }

    // A library stays only when it added something: the tables refer to it by index.
    const unsigned numMethodsBefore = Codecs.Size() + Hashers.Size();
    HRESULT res = LoadCodecs();
    const bool addedMethods = Codecs.Size() + Hashers.Size() != numMethodsBefore;
    bool addedFormats = false;
    if (res == S_OK) {
        const unsigned numFormatsBefore = Formats.Size();
        res = LoadFormats();
        addedFormats = Formats.Size() != numFormatsBefore;
    }
    if (!addedMethods && !addedFormats) Libs.DeleteBack();
    return res;
}

HRESULT CCodecs::LoadDllsFromFolder(const UString &folderPrefix) {
    NWindows::NFile::NFind::CEnumerator enumerator(folderPrefix + L"*");
    NWindows::NFile::NFind::CFileInfo fi;
    while (enumerator.Next(fi)) {
        if (fi.IsDir()) continue;
        RINOK(LoadDll(folderPrefix + fi.Name, true, nullptr));
    }
    return S_OK;
}

HRESULT CCodecs::Load() {
    Formats.Clear();
    FailedMainModule.Empty();
    Codecs.Clear();
    Hashers.Clear();

    for (unsigned i = 0; i < g_NumArcs; i++) {
        const CArcInfo &arc = *g_Arcs[i];
        CArcInfoEx item;
        item.Name.SetFromAscii(arc.Name);
        item.CreateInHandler = arc.CreateInArchive;
        item.IsArcTest = arc.IsArc;
        item.CreateOutHandler = arc.CreateOutArchive;
        item.CanWrite = (arc.CreateOutArchive != nullptr);
        item.Flags = arc.Flags;
        item.FlagsDefined = true;
        {
            UString e, ae;
            if (arc.Ext) e.SetFromAscii(arc.Ext);
            if (arc.AddExt) ae.SetFromAscii(arc.AddExt);
            item.AddExts(e, ae);
        }
        if (arc.Flags & NArcInfoFlags::kMultiSignature)
            ParseSignatures(arc.Signature, arc.SignatureSize, item.Signatures);
        else if (arc.SignatureSize != 0)
            item.Signatures.AddNew().CopyFrom(arc.Signature, arc.SignatureSize);
        item.SignatureOffset = arc.SignatureOffset;
        Formats.Add(item);
    }

    const UString prefix = NWindows::NDLL::GetModuleDirPrefix();
    bool loaded = false;
    RINOK(LoadDll(prefix + kMainDll, false, &loaded));
    if (!loaded) FailedMainModule = kMainDll;
    RINOK(LoadDllsFromFolder(prefix + kCodecsFolderName));
    RINOK(LoadDllsFromFolder(prefix + kFormatsFolderName));

    // One library with nothing built in has no other codecs to be told about.
    PassCodecsToLibs = !(Libs.IsEmpty() || (Libs.Size() == 1 && g_NumArcs == 0));
    if (PassCodecsToLibs) {
        for (unsigned i = 0; i < Libs.Size(); i++) {
            CCodecLib &lib = Libs[i];
            lib.SetCodecs = GetProcOf<Func_SetCodecs>(lib.Lib, "SetCodecs");
            if (lib.SetCodecs) RINOK(lib.SetCodecs(this));
        }
    }
    return S_OK;
}

void CCodecs::CloseLibs() {
    // Libraries that kept the registry drop it here; until then they hold references to it.
    for (unsigned i = 0; i < Libs.Size(); i++) {
        const CCodecLib &lib = Libs[i];
        if (lib.SetCodecs) lib.SetCodecs(nullptr);
    }
    Libs.Clear();
}

int CCodecs::FindFormatForArchiveName(const UString &arcPath) const {
    const int dotPos = arcPath.ReverseFind_Dot();
    if (dotPos < 0 || dotPos < arcPath.ReverseFind_PathSepar()) return -1;
    const UString ext = arcPath.Ptr((unsigned)dotPos + 1);
    if (ext.IsEmpty()) return -1;
    if (ext.IsEqualTo_Ascii_NoCase("exe")) return -1;
    for (unsigned i = 0; i < Formats.Size(); i++)
        if (Formats[i].FindExtension(ext) >= 0) return (int)i;
    return -1;
}

int CCodecs::FindFormatForExtension(const UString &ext) const {
    if (ext.IsEmpty()) return -1;
    for (unsigned i = 0; i < Formats.Size(); i++)
        if (Formats[i].FindExtension(ext) >= 0) return (int)i;
    return -1;
}

int CCodecs::FindFormatForArchiveType(const UString &arcType) const {
    for (unsigned i = 0; i < Formats.Size(); i++)
        if (Formats[i].Name.IsEqualTo_NoCase(arcType)) return (int)i;
    return -1;
}

bool CCodecs::FindFormatForArchiveType(const UString &arcType, CRecordVector<int> &formatIndices) const {
    formatIndices.Clear();
    unsigned pos = 0;
    while (pos < arcType.Len()) {
        const int dotPos = arcType.Find(L'.', pos);
        const unsigned end = dotPos < 0 ? arcType.Len() : (unsigned)dotPos;
        const UString name = arcType.Mid(pos, end - pos);
        if (name.IsEmpty()) return false;
        int index = -1;
        if (name != L"*") {
            index = FindFormatForArchiveType(name);
            if (index < 0) {
                formatIndices.Clear();
                return false;
            }
        }
        formatIndices.Add(index);
        if (dotPos < 0) break;
        pos = end + 1;
    }
    return true;
}

HRESULT CCodecs::CreateInArchive(unsigned formatIndex, CMyComPtr<IInArchive> &archive) const {
    archive.Release();
    if (formatIndex >= Formats.Size()) return E_INVALIDARG;
    const CArcInfoEx &ai = Formats[formatIndex];
    if (ai.LibIndex < 0) {
        if (ai.CreateInHandler) archive = ai.CreateInHandler();
        return S_OK;
    }
    const CCodecLib *lib = LibOf((UInt32)ai.LibIndex);
    if (!lib) return E_FAIL;
    IInArchive *p = nullptr;
    const HRESULT res = lib->CreateObject(&ai.ClassId, &IID_IInArchive, (void **)&p);
    archive.Attach(p);
    return res;
}

HRESULT CCodecs::CreateOutArchive(unsigned formatIndex, CMyComPtr<IOutArchive> &archive) const {
    archive.Release();
    if (formatIndex >= Formats.Size()) return E_INVALIDARG;
    const CArcInfoEx &ai = Formats[formatIndex];
    if (ai.LibIndex < 0) {
        if (ai.CreateOutHandler) archive = ai.CreateOutHandler();
        return S_OK;
    }
    const CCodecLib *lib = LibOf((UInt32)ai.LibIndex);
    if (!lib) return E_FAIL;
    IOutArchive *p = nullptr;
    const HRESULT res = lib->CreateObject(&ai.ClassId, &IID_IOutArchive, (void **)&p);
    archive.Attach(p);
    return res;
}

// Indexes come from the libraries too, which may pass anything: out of range is E_INVALIDARG, and
// after CloseLibs nothing reaches an unloaded library.

HRESULT CCodecs::GetNumMethods(UInt32 *numMethods) {
    *numMethods = Codecs.Size();
    return S_OK;
}

HRESULT CCodecs::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= Codecs.Size()) return E_INVALIDARG;
    const CLibCodecRef &ci = Codecs[index];
    if (propID == NMethodPropID::kDecoderIsAssigned || propID == NMethodPropID::kEncoderIsAssigned) {
        CPropVariant prop;
        prop = (propID == NMethodPropID::kDecoderIsAssigned) ? ci.HasDecoder : ci.HasEncoder;
        return prop.Detach(value);
    }
    const CCodecLib *lib = LibOf(ci.LibIndex);
    if (!lib || !lib->GetMethodProperty) return E_FAIL;
    return lib->GetMethodProperty(ci.LibCodecIndex, propID, value);
}

HRESULT CCodecs::CreateDecoder(UInt32 index, const GUID *iid, void **coder) {
    if (index >= Codecs.Size()) return E_INVALIDARG;
    const CLibCodecRef &ci = Codecs[index];
    // Nothing is created, but the caller's pointer is never left undefined.
    *coder = nullptr;
    if (!ci.HasDecoder) return S_OK;
    const CCodecLib *lib = LibOf(ci.LibIndex);
    if (!lib) return E_FAIL;
    if (lib->CreateDecoder) return lib->CreateDecoder(ci.LibCodecIndex, iid, coder);
    return lib->CreateObject(&ci.DecoderClassId, iid, coder);
}

HRESULT CCodecs::CreateEncoder(UInt32 index, const GUID *iid, void **coder) {
    if (index >= Codecs.Size()) return E_INVALIDARG;
    const CLibCodecRef &ci = Codecs[index];
    *coder = nullptr;
    if (!ci.HasEncoder) return S_OK;
    const CCodecLib *lib = LibOf(ci.LibIndex);
    if (!lib) return E_FAIL;
    if (lib->CreateEncoder) return lib->CreateEncoder(ci.LibCodecIndex, iid, coder);
    return lib->CreateObject(&ci.EncoderClassId, iid, coder);
}

UInt32 CCodecs::GetNumHashers() {
    return Hashers.Size();
}

HRESULT CCodecs::GetHasherProp(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index >= Hashers.Size()) return E_INVALIDARG;
    const CLibHasherRef &ci = Hashers[index];
    const CCodecLib *lib = LibOf(ci.LibIndex);
    if (!lib || !lib->LibHashers) return E_FAIL;
    return lib->LibHashers->GetHasherProp(ci.LibHasherIndex, propID, value);
}

HRESULT CCodecs::CreateHasher(UInt32 index, IHasher **hasher) {
    if (index >= Hashers.Size()) return E_INVALIDARG;
    const CLibHasherRef &ci = Hashers[index];
    const CCodecLib *lib = LibOf(ci.LibIndex);
    if (!lib || !lib->LibHashers) return E_FAIL;
    return lib->LibHashers->CreateHasher(ci.LibHasherIndex, hasher);
}

int CCodecs::GetCodec_LibIndex(UInt32 index) const {
    return (int)Codecs[index].LibIndex;
}

bool CCodecs::GetCodec_DecoderIsAssigned(UInt32 index) const {
    return Codecs[index].HasDecoder;
}

bool CCodecs::GetCodec_EncoderIsAssigned(UInt32 index) const {
    return Codecs[index].HasEncoder;
}

UInt32 CCodecs::GetCodec_NumStreams(UInt32 index) {
    CPropVariant prop;
    if (GetProperty(index, NMethodPropID::kPackStreams, &prop) != S_OK) return 0;
    if (prop.vt == VT_UI4) return prop.ulVal;
    if (prop.vt == VT_EMPTY) return 1;
    return 0;
}

HRESULT CCodecs::GetCodec_Id(UInt32 index, UInt64 &id) {
    CPropVariant prop;
    RINOK(GetProperty(index, NMethodPropID::kID, &prop));
    if (prop.vt != VT_UI8) return E_INVALIDARG;
    id = prop.uhVal.QuadPart;
    return S_OK;
}

AString CCodecs::GetCodec_Name(UInt32 index) {
    AString s;
    CPropVariant prop;
    if (GetProperty(index, NMethodPropID::kName, &prop) == S_OK && prop.vt == VT_BSTR && prop.bstrVal)
        s.SetFromWStr_if_Ascii(prop.bstrVal);
    return s;
}

int CCodecs::GetHasherLibIndex(UInt32 index) const {
    return (int)Hashers[index].LibIndex;
}

UInt64 CCodecs::GetHasherId(UInt32 index) {
    CPropVariant prop;
    if (GetHasherProp(index, NMethodPropID::kID, &prop) != S_OK) return 0;
    if (prop.vt != VT_UI8) return 0;
    return prop.uhVal.QuadPart;
}

AString CCodecs::GetHasherName(UInt32 index) {
    AString s;
    CPropVariant prop;
    if (GetHasherProp(index, NMethodPropID::kName, &prop) == S_OK && prop.vt == VT_BSTR && prop.bstrVal)
        s.SetFromWStr_if_Ascii(prop.bstrVal);
    return s;
}

UInt32 CCodecs::GetHasherDigestSize(UInt32 index) {
    CPropVariant prop;
    if (GetHasherProp(index, NMethodPropID::kDigestSize, &prop) != S_OK) return 0;
    if (prop.vt != VT_UI4) return 0;
    return prop.ulVal;
}
