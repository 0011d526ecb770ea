#include "ExtractingFilePath.h"

#include "common/Wildcard.h"
#include "windows/FileName.h"

static bool IsDotOrDotDot(const UString &s) {
    return s == L"." || s == L"..";
}

UString Get_Correct_FsFile_Name(const UString &name) {
    UString res = name;
    if (IsDotOrDotDot(res)) res.Empty();
    res.Replace(L'/', L'_');
    if (res.IsEmpty()) res = L"_";
    return res;
}

void Correct_AltStream_Name(UString &name) {
    unsigned len = name.Len();
    static const char *const kDataSuffix = ":$DATA";
    const unsigned kSuffixLen = 6;
    if (len >= kSuffixLen && StringsAreEqualNoCase_Ascii(name.RightPtr(kSuffixLen), kDataSuffix)) len -= kSuffixLen;
    for (unsigned i = 0; i < len; i++) {
        const wchar_t c = name[i];
        if (c == L':' || c == L'\\' || c == L'/' || c == 0x202E) name.ReplaceOneCharAtPos(i, L'_');
    }
    if (name.IsEmpty()) name = L"_";
}

void Correct_FsPath(bool absIsAllowed, UStringVector &parts, bool isDir) {
    unsigned i = 0;
    if (absIsAllowed && !parts.IsEmpty() && parts[0].IsEmpty()) i = 1;
    while (i < parts.Size()) {
        UString &s = parts[i];
        if (IsDotOrDotDot(s)) s.Empty();
        if (s.IsEmpty()) {
            if (isDir || i != parts.Size() - 1) {
                parts.Delete(i);
                continue;
            }
            s = L"_";
        }
        i++;
    }
    if (!isDir) {
        if (parts.IsEmpty())
            parts.Add(UString(L"_"));
        else if (parts.Back().IsEmpty())
            parts.Back() = L"_";
    }
}

UString MakePathFromParts(const UStringVector &parts) {
    UString s;
    FOR_VECTOR(i, parts) {
        if (i != 0) s.Add_PathSepar();
        s += parts[i];
    }
    return s;
}

bool IsSafePath(const UString &path) {
    // A drive form ("c:/...") is resolved as a root by the path layer, so it is as absolute as '/'.
    if (NWindows::NFile::NName::IsAbsolutePath(path) || NWindows::NFile::NName::GetRootPrefixSize(path) != 0)
        return false;
    UStringVector parts;
    SplitPathToParts(path, parts);
    int depth = 0;
    FOR_VECTOR(i, parts) {
        const UString &s = parts[i];
        if (s.IsEmpty()) {
            if (i == 0) return false;
            continue;
        }
        if (s == L".") continue;
        if (s == L"..") {
            if (depth == 0) return false;
            depth--;
            continue;
        }
        depth++;
    }
    return depth > 0;
}
