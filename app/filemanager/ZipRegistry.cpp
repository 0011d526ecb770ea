#include "ZipRegistry.h"

#include "common/IntToString.h"
#include "options.h"

namespace NExtract {

bool CInfo::Load() {
    ExtractMode = 1;
    OverwriteMode = 0;
    ExtractModeForce = false;
    OverwriteModeForce = false;
    SplitDest.Val = false;
    PathHistory.Clear();
    OpenOutputDir = false;
    return options::instance().get_extract_info(*this, true);
}

bool CInfo::Save() const {
    return options::instance().set_extract_info(*this);
}

bool Read_ShowPassword() {
    bool showPassword = false;
    if (!options::instance().get_show_password(showPassword, true)) return false;
    return showPassword;
}

bool Save_ShowPassword(bool showPassword) {
    return options::instance().set_show_password(showPassword);
}

} // namespace NExtract

namespace NCompression {

bool CInfo::Load() {
    Config = 0;
    Level = 5;
    ShowPassword = false;
    EncryptHeaders = false;
    Archiver = L"7z";
    ArcHistory.Clear();
    Formats.Clear();
    return options::instance().get_compress_info(*this, true);
}

bool CInfo::Save() const {
    return options::instance().set_compress_info(*this);
}

} // namespace NCompression

// These replace the core's weak reader, so the engine's temporary archives follow the user's
// work-folder setting.
namespace NWorkDir {

bool CInfo::Load() {
    SetDefault();
    return options::instance().get_workdir_info(*this, true);
}

bool CInfo::Save() const {
    return options::instance().set_workdir_info(*this);
}

} // namespace NWorkDir

void AddUniqueStringToHeadOfList(CObjectVector<UString> &list, const UString &s) {
    for (unsigned i = 0; i < list.Size();) {
        if (s.IsEqualTo_NoCase(list[i]))
            list.Delete(i);
        else
            i++;
    }
    list.Insert(0, s);
}

UString NumberToString(UInt64 number) {
    wchar_t temp[32];
    ConvertUInt64ToString(number, temp);
    return temp;
}

UString MyFormatNew(const UString &format, const UString &argument) {
    UString result = format;
    result.Replace(L"{0}", argument);
    return result;
}
