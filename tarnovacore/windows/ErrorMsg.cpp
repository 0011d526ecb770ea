#include "ErrorMsg.h"

#include <stdio.h>
#include <string.h>

#include "common/MyWindows.h"
#include "common/StringConvert.h"

namespace NWindows {
namespace NError {

// strerror_r comes in two forms; overloading on its result picks the right reading of either.
// The XSI form returns 0 and fills the buffer, or an error number when it knows no text.
static inline const char *StrErrorResult(int res, const char *buf) {
    return res == 0 ? buf : nullptr;
}
// The GNU form returns the text, which may or may not be in the buffer.
static inline const char *StrErrorResult(const char *res, const char *) {
    return res;
}

static const char *GetTableText(UInt32 code) {
    switch (code) {
    case ERROR_DIRECTORY:
        return "错误的目录";
    case ERROR_NO_MORE_FILES:
        return "没有更多的文件";
    case (UInt32)E_NOTIMPL:
        return "尚未实现";
    case (UInt32)E_NOINTERFACE:
        return "E_NOINTERFACE";
    case (UInt32)E_ABORT:
        return "E_ABORT";
    case (UInt32)E_FAIL:
        return "E_FAIL";
    case (UInt32)STG_E_INVALIDFUNCTION:
        return "STG_E_INVALIDFUNCTION";
    case (UInt32)E_OUTOFMEMORY:
        return "E_OUTOFMEMORY";
    case (UInt32)E_INVALIDARG:
        return "E_INVALIDARG";
    default:
        return nullptr;
    }
}

UString MyFormatMessage(UInt32 errorCode) {
    // Streams and coders report an errno n as 0x8007000n: its text is the text of n.
    if ((errorCode & 0xFFFF0000u) == 0x80070000u && (errorCode & 0xFFFFu) != 0 && !GetTableText(errorCode))
        errorCode &= 0xFFFFu;

    const char *text = GetTableText(errorCode);
    char buf[256];
    if (!text) {
        buf[0] = 0;
        text = StrErrorResult(strerror_r((int)errorCode, buf, sizeof(buf)), buf);
        if (!text || *text == 0) {
            snprintf(buf, sizeof(buf), "error #%x", (unsigned)errorCode);
            text = buf;
        }
    }
    return MultiByteToUnicodeString(AString(text));
}

} // namespace NError
} // namespace NWindows
