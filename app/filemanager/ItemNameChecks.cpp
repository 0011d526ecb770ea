#include "ItemNameChecks.h"

#include <string>

const char *const kStartExtensions =
    " exe bat com chm msi doc xls ppt pps wps wpt wks xlr wdb vsd pub docx docm dotx dotm xlsx xlsm xltx xltm"
    " xlsb xps xlam pptx pptm potx potm ppam ppsx ppsm xsn mpp msg dwf flv swf odt ods wb3 pdf ";

static void ShowLineBreaksAsUnderscores(UString &s) {
    s.Replace(L'\n', L'_');
    s.Replace(L'\r', L'_');
}

bool GetSuspiciousNameMessage(const UString &name, UString &message) {
    UString cleaned = name;
    const unsigned lengthBefore = cleaned.Len();
    cleaned.Replace(UString(L"\x202E"), UString(L"[RLO]"));
    const bool hasMark = cleaned.Len() != lengthBefore;
    bool hasSpaces = false;
    const UString five(L"     ");
    while (cleaned.Find(five) >= 0) {
        cleaned.Replace(five, UString(L" "));
        hasSpaces = true;
    }
    if (!hasMark && !hasSpaces) return false;

    message = L"此文件似乎是病毒文件(文件名中包含多个空格)。";
    if (!hasSpaces) message.Replace(UString(L"(文件名中包含多个空格)"), UString());
    UString shownName = name;
    ShowLineBreaksAsUnderscores(cleaned);
    ShowLineBreaksAsUnderscores(shownName);
    message += L'\n';
    message += cleaned;
    message += L'\n';
    message += shownName;
    return true;
}

bool FindExt(const char *list, const UString &name) {
    const int dotPos = name.ReverseFind_Dot();
    if (dotPos < 0) return false;
    const wchar_t *ext = name.Ptr((unsigned)dotPos + 1);
    if (*ext == 0) return false;
    std::string word = " ";
    for (const wchar_t *p = ext; *p; p++) {
        wchar_t c = *p;
        if (c >= 0x80) return false;
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
        // A blank inside the extension would let it match across words of the list.
        if (c == L' ') return false;
        word += (char)c;
    }
    word += ' ';
    const std::string words = std::string(" ") + list + " ";
    return words.find(word) != std::string::npos;
}
