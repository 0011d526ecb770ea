#include "archive/common/StreamUtils.h"
#include "ArchiveLink.h"

#include <errno.h>

#include "common/StringToInt.h"
#include "windows/FileDir.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const unsigned kMaxLevels = 32;
static const unsigned kMaxRequestedTypes = 31;

void CArchiveLink::Release() {
    failedOpenErrors.ClearErrors();
    failedOpenPath.Empty();
    while (!levels.IsEmpty())
        levels.DeleteBack();
}

HRESULT CArchiveLink::Close() {
    for (unsigned i = levels.Size(); i != 0;) {
        CArc &arc = levels[--i];
        arc.subRangeStream.Release();
        if (arc.handler) RINOK(arc.handler->Close());
    }
    isOpen = false;
    return S_OK;
}

void CArchiveLink::KeepModeForNextOpen() {
    for (unsigned i = levels.Size(); i != 0;) {
        CArc &arc = levels[--i];
        CMyComPtr<IArchiveKeepModeForNextOpen> keep;
        arc.handler.QueryInterface(IID_IArchiveKeepModeForNextOpen, &keep);
        if (keep) keep->KeepModeForNextOpen();
    }
}

// An empty tar is its end blocks and nothing else. Data that merely begins with zeros (a packed
// disk image, say) is the decoded file itself, not an empty archive.
static bool IsEmptyTar(const CCodecs *codecs, const CArc &arc) {
    if (arc.formatIndex < 0 || !codecs->Formats[(unsigned)arc.formatIndex].Name.IsEqualTo_Ascii_NoCase("tar"))
        return false;
    UInt32 numItems = 0;
    return arc.handler->GetNumberOfItems(&numItems) == S_OK && numItems == 0;
}

static HRESULT HoldsOnlyZeros(IInStream *stream, bool &onlyZeros) {
    onlyZeros = false;
    RINOK(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    CByteBuffer buf(1 << 16);
    for (;;) {
        UInt32 processed = 0;
        RINOK(stream->Read(buf, (UInt32)buf.Size(), &processed));
        if (processed == 0) break;
        for (UInt32 i = 0; i < processed; i++)
            if (buf[i] != 0) return S_OK;
    }
    onlyZeros = true;
    return S_OK;
}

HRESULT CArchiveLink::Open(COpenOptions &op) {
    Release();
    const unsigned numTypes = op.requestedTypes ? op.requestedTypes->Size() : 0;
    if (numTypes > kMaxRequestedTypes) return E_NOTIMPL;

    HRESULT resSpec;
    for (;;) {
        resSpec = S_OK;
        op.currentType = COpenType();
        // A crafted file can nest without end: no chain grows past the level limit.
        if (levels.Size() >= kMaxLevels) break;
        if (numTypes != 0) {
            if (levels.Size() < numTypes) {
                op.currentType = (*op.requestedTypes)[numTypes - levels.Size() - 1];
            } else {
                op.currentType = (*op.requestedTypes)[0];
                if (!op.currentType.descend) break;
            }
        }

        if (levels.IsEmpty()) {
            CArc &arc = levels.AddNew();
            arc.filePath = op.filePath;
            arc.arcPath = op.filePath;
            arc.itemIndexInParent = -1;
            const HRESULT result = arc.OpenStreamOrFile(op);
            if (result != S_OK) {
                if (result == S_FALSE) {
                    failedOpenErrors = arc.failedOpenErrors;
                    failedOpenPath = arc.filePath;
                }
                levels.DeleteBack();
                return result;
            }
            continue;
        }

        if (levels.Size() < numTypes) resSpec = E_NOTIMPL;

        CArc &arc = levels.Back();
        UInt32 mainSubfile;
        {
            NCOM::CPropVariant prop;
            RINOK(arc.handler->GetArchiveProperty(kpidMainSubfile, &prop));
            if (prop.vt != VT_UI4) break;
            mainSubfile = prop.ulVal;
            UInt32 numItems = 0;
            RINOK(arc.handler->GetNumberOfItems(&numItems));
            if (mainSubfile >= numItems) break;
        }

        CMyComPtr<IInArchiveGetStream> getStream;
        if (arc.handler.QueryInterface(IID_IInArchiveGetStream, &getStream) != S_OK || !getStream) break;
        CMyComPtr<ISequentialInStream> subSeqStream;
        if (getStream->GetStream(mainSubfile, &subSeqStream) != S_OK || !subSeqStream) break;
        CMyComPtr<IInStream> subStream;
        if (subSeqStream.QueryInterface(IID_IInStream, &subStream) != S_OK || !subStream) break;

        UString itemPath;
        RINOK(arc.GetItemPath(mainSubfile, itemPath));
        bool zerosTailIsAllowed = false;
        RINOK(Archive_GetItemBoolProp(arc.handler, mainSubfile, kpidZerosTailIsAllowed, zerosTailIsAllowed));
        if (op.openCallback) {
            CMyComPtr<IArchiveOpenSetSubArchiveName> setSubArchiveName;
            op.openCallback.QueryInterface(IID_IArchiveOpenSetSubArchiveName, &setSubArchiveName);
            if (setSubArchiveName) setSubArchiveName->SetSubArchiveName(itemPath);
        }

        CIntVector noExcluded;
        COpenOptions op2;
        op2.registry = op.registry;
        op2.handlerProps = op.handlerProps;
        op2.openCallback = op.openCallback;
        op2.callbackImp = op.callbackImp;
        op2.currentType = op.currentType;
        op2.currentType.allowZeroTail = zerosTailIsAllowed;
        op2.excludedFormatIndices = &noExcluded;
        op2.readStdIn = false;
        op2.inputStream = subStream;
        op2.filePath = itemPath;

        resSpec = numTypes == 0 ? S_OK : S_FALSE;

        CArc &arc2 = levels.AddNew();
        arc2.arcPath = itemPath;
        arc2.filePath = itemPath;
        arc2.itemIndexInParent = (Int32)mainSubfile;
        const HRESULT result = arc2.OpenStream(op2);
        if (result == S_FALSE) {
            failedOpenErrors = arc2.openErrors;
            failedOpenPath = arc2.arcPath;
            levels.DeleteBack();
            break;
        }
        if (result != S_OK) {
            levels.DeleteBack();
            return result;
        }
        {
            bool onlyZeros = true;
            const HRESULT res = IsEmptyTar(op.registry, arc2) ? HoldsOnlyZeros(subStream, onlyZeros) : S_OK;
            if (res != S_OK || !onlyZeros) {
                levels.DeleteBack();
                if (res != S_OK) return res;
                break;
            }
        }
        {
            // levels holds pointers: the outer level stays where it was.
            const CArc &outer = levels[levels.Size() - 2];
            const HRESULT res = outer.GetItemMTime(mainSubfile, arc2.itemTime, arc2.itemTimeDefined);
            if (res != S_OK) {
                levels.DeleteBack();
                return res;
            }
        }
    }
    isOpen = !levels.IsEmpty();
    return resSpec;
}

HRESULT CArchiveLink::Open2(COpenOptions &op, IOpenCallbackUI *callbackUI) {
    volumeFilesSize = 0;
    COpenCallbackImp *openCallbackSpec = new COpenCallbackImp;
    CMyComPtr<IArchiveOpenCallback> openCallback = openCallbackSpec;
    openCallbackSpec->ui = callbackUI;

    UString prefix, name;
    if (op.inputStream || op.readStdIn) {
        openCallbackSpec->SetSubArchiveName(op.filePath);
    } else {
        NFile::NDir::GetFullPathAndSplit(op.filePath, prefix, name);
        openCallbackSpec->Init(prefix, name);
    }
    op.callbackImp = openCallbackSpec;
    op.openCallback = openCallback;

    const HRESULT res = Open(op);
    passwordRequested = openCallbackSpec->passwordAsked;
    if (res != S_OK) return res;
    FOR_VECTOR(i, openCallbackSpec->volumeNames) {
        if (openCallbackSpec->volumeInUse[i]) {
            volumeFilePaths.Add(prefix + openCallbackSpec->volumeNames[i]);
            volumeFilesSize += openCallbackSpec->volumeSizes[i];
        }
    }
    return res;
}

HRESULT CArchiveLink::Open3(COpenOptions &op, IOpenCallbackUI *callbackUI) {
    HRESULT res = Open2(op, callbackUI);
    if (callbackUI) {
        const HRESULT res2 = callbackUI->Open_Finished();
        if (res2 != S_OK) res = res2;
    }
    return res;
}

HRESULT CArchiveLink::ReOpen(COpenOptions &op) {
    if (levels.Size() > 1) return E_NOTIMPL;
    op.requestedTypes = nullptr;
    op.excludedFormatIndices = nullptr;
    op.readStdIn = false;
    op.inputStream.Release();
    if (levels.IsEmpty()) return Open2(op, nullptr);

    COpenCallbackImp *openCallbackSpec = new COpenCallbackImp;
    CMyComPtr<IArchiveOpenCallback> openCallbackNew = openCallbackSpec;
    UString dirPrefix, fileName;
    NFile::NDir::GetFullPathAndSplit(op.filePath, dirPrefix, fileName);
    openCallbackSpec->Init(dirPrefix, fileName);

    CInFileStream *fileStreamSpec = new CInFileStream(true);
    CMyComPtr<IInStream> stream(fileStreamSpec);
    if (!fileStreamSpec->Open(op.filePath)) return HRESULT_FROM_ERRNO(errno);
    op.inputStream = stream;

    CArc &arc = levels[0];
    const HRESULT res = arc.ReOpen(op);
    passwordRequested = false;
    isOpen = (res == S_OK);
    return res;
}

bool ParseComplexSize(const wchar_t *s, UInt64 &result) {
    result = 0;
    const wchar_t *end;
    const UInt64 number = ConvertStringToUInt64(s, &end);
    if (end == s) return false;
    if (*end == 0) {
        result = number;
        return true;
    }
    if (end[1] != 0) return false;
    unsigned numBits;
    switch (MyCharLower_Ascii(*end)) {
    case 'b':
        result = number;
        return true;
    case 'k':
        numBits = 10;
        break;
    case 'm':
        numBits = 20;
        break;
    case 'g':
        numBits = 30;
        break;
    case 't':
        numBits = 40;
        break;
    default:
        return false;
    }
    if (number >= ((UInt64)1 << (64 - numBits))) return false;
    result = number << numBits;
    return true;
}

bool ParseType(CCodecs &codecs, const UString &s, COpenType &type) {
    const int pos2 = s.Find(L':');
    UString name;
    if (pos2 < 0) {
        name = s;
    } else {
        name = s.Left((unsigned)pos2);
    }
    const int index = codecs.FindFormatForArchiveType(name);
    if (index >= 0) {
        type.formatIndex = index;
    } else if (name == L"*") {
        type.formatIndex = -1;
    } else if (name == L"#") {
        type.formatIndex = -1;
        type.acceptArc = false;
        type.acceptParser = true;
    } else {
        return false;
    }
    type.descend = false;
    if (pos2 < 0) return true;

    UString rest = s.Ptr((unsigned)pos2 + 1);
    for (;;) {
        const int next = rest.Find(L':');
        UString param = next < 0 ? rest : rest.Left((unsigned)next);
        if (param.IsEmpty()) return false;
        if (param.Len() == 1) {
            switch ((Byte)param[0]) {
            case 'e':
                type.tryEveryPosition = true;
                break;
            case 'a':
                type.acceptArc = true;
                break;
            case 'r':
                type.descend = true;
                break;
            default:
                return false;
            }
        } else {
            if (param[0] != L's') return false;
            UInt64 limit;
            if (!ParseComplexSize(param.Ptr(1), limit)) return false;
            type.startLimit = limit;
            type.startLimitDefined = true;
        }
        if (next < 0) return true;
        rest.DeleteFrontal((unsigned)next + 1);
    }
}

bool ParseOpenTypes(CCodecs &codecs, const UString &s, CObjectVector<COpenType> &types) {
    types.Clear();
    UString rest = s;
    for (;;) {
        const int pos = rest.Find(L'.');
        const UString part = pos < 0 ? rest : rest.Left((unsigned)pos);
        if (part.IsEmpty()) return false;
        COpenType type;
        if (!ParseType(codecs, part, type)) return false;
        types.Add(type);
        if (pos < 0) return true;
        rest.DeleteFrontal((unsigned)pos + 1);
    }
}
