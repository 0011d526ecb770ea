#pragma once

// Texts for results and exceptions, shared by the workers and every slot that must not let an
// exception escape.
#include "common/MyString.h"
#include "common/MyWindows.h"

// "系统无法分配所需内存" for E_OUTOFMEMORY, else the system's text of the code.
UString HResultToMessage(HRESULT errorCode);

// An engine message in Chinese: a known English refusal becomes its Chinese text, keeping the
// name or path after it; any other text is returned as it is.
UString EngineMessageText(const UString &message);

// The text of the exception being handled; call only inside a catch block. Wide and narrow texts
// and UString are the text, an int n is "Error #n" (n as unsigned 32-bit), anything else "Error".
UString CurrentExceptionText();
