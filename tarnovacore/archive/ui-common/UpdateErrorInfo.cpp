#include "UpdateErrorInfo.h"

#include <errno.h>

HRESULT CUpdateErrorInfo::Get_HRESULT_Error() const {
    if (ErrorNumber == 0) return E_FAIL;
    if ((Int32)ErrorNumber < 0) return (HRESULT)ErrorNumber;
    return (HRESULT)(0x80070000u | (ErrorNumber & 0xFFFF));
}

void CUpdateErrorInfo::SetFromLastError(const char *message) {
    ErrorNumber = (DWORD)errno;
    Text = message;
}

HRESULT CUpdateErrorInfo::SetFromLastError(const char *message, const UString &fileName) {
    SetFromLastError(message);
    Paths.Add(fileName);
    return Get_HRESULT_Error();
}
