#include "ErrorMsg.h"

#include <errno.h>
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
    // The file layer's "nothing of that name in the folder": to the user, the file is not there.
    case ERROR_NO_MORE_FILES:
        return "没有那个文件或目录";
    case (UInt32)E_NOTIMPL:
        return "尚未实现";
    case (UInt32)E_NOINTERFACE:
        return "不支持此操作";
    case (UInt32)E_ABORT:
        return "操作已取消";
    case (UInt32)E_FAIL:
        return "操作失败";
    case (UInt32)STG_E_INVALIDFUNCTION:
        return "无效的操作";
    case (UInt32)E_OUTOFMEMORY:
        return "内存不足";
    case (UInt32)E_INVALIDARG:
        return "参数错误";
    default:
        return nullptr;
    }
}

// The window speaks Chinese: the system's texts of the errors users meet, in Chinese. Others keep
// the system's own text.
static const char *GetErrnoText(UInt32 code) {
    switch (code) {
    case EPERM:
        return "不允许的操作";
    case ENOENT:
        return "没有那个文件或目录";
    case EINTR:
        return "操作被中断";
    case EIO:
        return "输入/输出错误";
    case ENXIO:
        return "没有那个设备或地址";
    case E2BIG:
        return "参数列表过长";
    case EBADF:
        return "错误的文件描述符";
    case EAGAIN:
        return "资源暂时不可用";
    case ENOMEM:
        return "内存不足";
    case EACCES:
        return "权限不够";
    case EFAULT:
        return "错误的地址";
    case EBUSY:
        return "设备或资源忙";
    case EEXIST:
        return "文件已存在";
    case EXDEV:
        return "无效的跨设备链接";
    case ENODEV:
        return "没有那个设备";
    case ENOTDIR:
        return "不是目录";
    case EISDIR:
        return "是一个目录";
    case EINVAL:
        return "无效的参数";
    case ENFILE:
        return "系统中打开的文件过多";
    case EMFILE:
        return "打开的文件过多";
    case ETXTBSY:
        return "文本文件忙";
    case EFBIG:
        return "文件过大";
    case ENOSPC:
        return "设备上没有空间";
    case ESPIPE:
        return "非法的定位";
    case EROFS:
        return "只读文件系统";
    case EMLINK:
        return "链接过多";
    case EPIPE:
        return "断开的管道";
    case ERANGE:
        return "数值结果超出范围";
    case ENAMETOOLONG:
        return "文件名过长";
    case ENOSYS:
        return "函数未实现";
    case ENOTEMPTY:
        return "目录非空";
    case ELOOP:
        return "符号链接的层数过多";
    case ENODATA:
        return "没有可用的数据";
    case EOVERFLOW:
        return "对已定义的数据类型来说值过大";
    case EILSEQ:
        return "无效或不完整的多字节字符或宽字符";
    case EOPNOTSUPP:
        return "不支持的操作";
    case ETIMEDOUT:
        return "连接超时";
    case ESTALE:
        return "过旧的文件句柄";
    case EDQUOT:
        return "超出磁盘限额";
    case ECANCELED:
        return "操作已取消";
    default:
        return nullptr;
    }
}

UString MyFormatMessage(UInt32 errorCode) {
    // Streams and coders report an errno n as 0x8007000n: its text is the text of n.
    if ((errorCode & 0xFFFF0000u) == 0x80070000u && (errorCode & 0xFFFFu) != 0 && !GetTableText(errorCode))
        errorCode &= 0xFFFFu;

    const char *text = GetTableText(errorCode);
    if (!text) text = GetErrnoText(errorCode);
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
