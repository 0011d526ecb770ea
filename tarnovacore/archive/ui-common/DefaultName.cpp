#include "DefaultName.h"

static const wchar_t *const kEmptyFileAlias = L"~";

UString GetDefaultName2(const UString &fileName, const UString &extension, const UString &addSubExtension) {
    UString res;
    const unsigned extLen = extension.Len();
    const unsigned fileLen = fileName.Len();
    if (fileLen > extLen + 1) {
        const unsigned dotPos = fileLen - extLen - 1;
        if (fileName[dotPos] == L'.' && extension.IsEqualTo_NoCase(fileName.Ptr(dotPos + 1))) {
            res = fileName.Left(dotPos);
            res += addSubExtension;
            res.TrimRight();
            return res;
        }
    }
    const int dotPos = fileName.ReverseFind_Dot();
    if (dotPos > 0) {
        res = fileName.Left((unsigned)dotPos);
        res += addSubExtension;
    } else if (addSubExtension.IsEmpty()) {
        res = fileName + kEmptyFileAlias;
    } else {
        res = fileName + addSubExtension;
    }
    res.TrimRight();
    return res;
}
