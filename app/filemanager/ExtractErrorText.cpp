#include "ExtractErrorText.h"

#include "ErrorText.h"
#include "ZipRegistry.h"
#include "archive/PropID.h"
#include "archive/ui-common/ArchiveLink.h"
#include "archive/ui-common/LoadCodecs.h"
#include "common/IntToString.h"
#include "progresswindow.h"

namespace {

const wchar_t *const kItemErrorTexts[] = {L"不支持的压缩算法", L"数据错误",     L"CRC 校验失败",
                                          L"数据不可用",       L"文件末端错误", L"有效数据外包含额外数据",
                                          L"非压缩包",         L"头部错误",     L"密码错误"};

const wchar_t *const kOpenFlagTexts[] = {L"非压缩包",
                                         L"头部错误",
                                         L"头部错误",
                                         L"档案起始位置不可用",
                                         L"无法确认档案起始位置",
                                         L"文件末端错误",
                                         L"有效数据外包含额外数据",
                                         L"不支持的压缩算法",
                                         L"不支持此功能",
                                         L"数据错误",
                                         L"校验失败"};

const wchar_t *const kWrongPasswordHint = L"密码错误？";
// The names of the warning properties (72, 73) in the item list.
const wchar_t *const kWarningsName = L"警告";

UString FormatName(const CCodecs *codecs, Int32 index) {
    if (!codecs || index < 0 || (unsigned)index >= codecs->Formats.Size()) return UString(L"#");
    return codecs->Formats[(unsigned)index].Name;
}

bool HasErrorsOrWarnings(const CArcErrorInfo &e) {
    return e.errorFlags != 0 || e.warningFlags != 0 || (e.hasTail && !e.tailIsZeros) || e.endBeyondData ||
           !e.errorText.IsEmpty() || !e.warningText.IsEmpty();
}

void RemoveEmptyQuotes(UString &s) {
    s.Replace(UString(L" ''"), UString());
    s.Replace(UString(L"''"), UString());
}

} // namespace

void SetExtractErrorMessage(progresswindow *window, Int32 opRes, Int32 encrypted, const wchar_t *fileName, UString &s) {
    s.Empty();
    if (opRes == 0) return;
    if (opRes >= 1 && opRes <= 9) {
        s = kItemErrorTexts[opRes - 1];
        if (window) window->show_error(opRes);
    } else {
        wchar_t number[32];
        ConvertUInt32ToString((UInt32)opRes, number);
        s = L"Error #";
        s += number;
    }
    if (encrypted != 0 && opRes != 9) {
        s += L" : ";
        s += kWrongPasswordHint;
    }
    s += L" : ";
    if (fileName) s += fileName;
}

UString GetOpenArcErrorMessage(UInt32 errorFlags) {
    UString s;
    for (unsigned i = 0; i < 11; i++) {
        const UInt32 bit = (UInt32)1 << i;
        if ((errorFlags & bit) == 0) continue;
        if (!s.IsEmpty()) s.Add_LF();
        s += kOpenFlagTexts[i];
        if (bit == kpv_ErrorFlags_EncryptedHeadersError) {
            s += L" : ";
            s += kWrongPasswordHint;
        }
        errorFlags &= ~bit;
    }
    if (errorFlags != 0) {
        char hex[16];
        ConvertUInt32ToHex(errorFlags, hex);
        if (!s.IsEmpty()) s.Add_LF();
        s += L"0x";
        s.AddAscii(hex);
    }
    return s;
}

void ErrorInfo_Print(UString &s, const CArcErrorInfo &e) {
    UInt32 errorFlags = e.errorFlags;
    if (e.endBeyondData) errorFlags |= kpv_ErrorFlags_UnexpectedEnd;
    if (errorFlags != 0) {
        s += GetOpenArcErrorMessage(errorFlags);
        s.Add_LF();
    }
    if (!e.errorText.IsEmpty()) {
        s += e.errorText;
        s.Add_LF();
    }
    UInt32 warningFlags = e.warningFlags;
    if (e.hasTail && !e.tailIsZeros && (errorFlags & kpv_ErrorFlags_DataAfterEnd) == 0)
        warningFlags |= kpv_ErrorFlags_DataAfterEnd;
    if (warningFlags != 0) {
        s += kWarningsName;
        s += L":";
        s.Add_LF();
        s += GetOpenArcErrorMessage(warningFlags);
        s.Add_LF();
    }
    if (!e.warningText.IsEmpty()) {
        s += kWarningsName;
        s += L": ";
        s += e.warningText;
        s.Add_LF();
    }
}

UString GetBracedType(const wchar_t *name) {
    UString s(L"[");
    s += name;
    s += L"]";
    return s;
}

void OpenResult_GUI(UString &s, const CCodecs *codecs, const CArchiveLink &link, const wchar_t *name, HRESULT result) {
    bool first = true;
    FOR_VECTOR(level, link.levels) {
        const CArc &arc = link.levels[level];
        const CArcErrorInfo &e = arc.openErrors;
        if (!HasErrorsOrWarnings(e) && e.failedFormatIndex < 0) continue;
        if (first) {
            s += name;
            s.Add_LF();
            first = false;
        } else {
            s += arc.arcPath;
            s.Add_LF();
        }
        ErrorInfo_Print(s, e);
        if (e.failedFormatIndex >= 0) {
            s += kWarningsName;
            s.Add_LF();
            if (e.failedFormatIndex == arc.formatIndex) {
                s += L"压缩包包含偏移";
            } else {
                s += MyFormatNew(UString(L"无法作为 {0} 压缩包打开该文件"),
                                 GetBracedType(FormatName(codecs, e.failedFormatIndex)));
                s.Add_LF();
                s += MyFormatNew(UString(L"文件以 {0} 格式打开"), GetBracedType(FormatName(codecs, arc.formatIndex)));
            }
            s.Add_LF();
        }
    }

    const CArcErrorInfo &failed = link.failedOpenErrors;
    if (failed.failedFormatIndex >= 0 || result != S_OK) {
        s += name;
        s.Add_LF();
        if (!link.levels.IsEmpty()) {
            s += link.failedOpenPath;
            s.Add_LF();
        }
        if (failed.failedFormatIndex >= 0 || result == S_FALSE) {
            UString text;
            if (link.passwordRequested)
                text = MyFormatNew(UString(L"无法打开加密压缩包{0}。密码错误？"), UString());
            else if (failed.failedFormatIndex >= 0)
                text = MyFormatNew(UString(L"无法作为 {0} 压缩包打开该文件"),
                                   GetBracedType(FormatName(codecs, failed.failedFormatIndex)));
            else
                text = MyFormatNew(UString(L"无法作为压缩包打开文件{0}"), UString());
            RemoveEmptyQuotes(text);
            s += text;
        } else {
            s += HResultToMessage(result);
        }
        s.Add_LF();
        ErrorInfo_Print(s, failed);
    }
    if (!s.IsEmpty() && s.Back() == L'\n') s.DeleteBack();
}
