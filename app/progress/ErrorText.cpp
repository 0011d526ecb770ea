#include "ErrorText.h"

#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "windows/ErrorMsg.h"

UString HResultToMessage(HRESULT errorCode) {
    if (errorCode == E_OUTOFMEMORY) return UString(L"系统无法分配所需内存");
    // Opening says "not this format" with S_FALSE; read as an errno it would be EPERM.
    if (errorCode == S_FALSE) return UString(L"无法作为压缩包打开文件");
    return NWindows::NError::MyFormatMessage((UInt32)errorCode);
}

UString CurrentExceptionText() {
    try {
        throw;
    } catch (const wchar_t *s) {
        return UString(s ? s : L"");
    } catch (const UString &s) {
        return s;
    } catch (const char *s) {
        return MultiByteToUnicodeString(AString(s ? s : ""));
    } catch (int n) {
        wchar_t digits[16];
        ConvertUInt32ToString((UInt32)n, digits);
        UString text(L"Error #");
        text += digits;
        return text;
    } catch (...) {
        return UString(L"Error");
    }
}
