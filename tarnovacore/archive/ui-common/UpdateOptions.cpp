#include "UpdateOptions.h"

#include "LoadCodecs.h"

bool CUpdateOptions::InitFormatIndex(const CCodecs *codecs, const CObjectVector<COpenType> &types,
                                     const UString &arcPath) {
    if (types.Size() > 1) return false;
    if (types.Size() != 0) {
        Method.Format = types[0];
        Method.HasType = true;
    }
    if (Method.Format.formatIndex < 0) {
        Method.Format = COpenType();
        if (NameMode != kArcNameAdd) {
            Method.Format.formatIndex = codecs->FindFormatForArchiveName(arcPath);
            if (Method.Format.formatIndex >= 0) Method.HasType = true;
        }
    }
    return true;
}

bool CUpdateOptions::SetArcPath(const CCodecs *codecs, const UString &arcPath) {
    UString typeExt;
    const int formatIndex = Method.Format.formatIndex;
    if (formatIndex < 0)
        typeExt = L"7z";
    else {
        const CArcInfoEx &arcInfo = codecs->Formats[(unsigned)formatIndex];
        if (!arcInfo.CanWrite) return false;
        typeExt = arcInfo.GetMainExt();
    }
    UString ext = typeExt;
    if (MakeSfx) ext.Empty();

    ArcPath.MainExt = ext;
    ArcPath.VolumeExt = typeExt;
    ArcPath.ParseFromPath(arcPath, NameMode);
    for (unsigned i = 0; i < Outputs.Size(); i++) {
        CUpdateArchiveCommand &uc = Outputs[i];
        uc.ArcPath.MainExt = ext;
        uc.ArcPath.VolumeExt = typeExt;
        uc.ArcPath.ParseFromPath(uc.GivenPath, NameMode);
    }
    return true;
}
