#pragma once

// libarchive converts names through the calling thread's locale; it must be C.UTF-8 during every
// call, whatever locale the program runs in. The scope switches this thread only, and back.
#include <locale.h>

namespace NPlugin {

class CUtf8LocaleScope {
    locale_t _old;

public:
    CUtf8LocaleScope();
    ~CUtf8LocaleScope();
    CUtf8LocaleScope(const CUtf8LocaleScope &) = delete;
    CUtf8LocaleScope &operator=(const CUtf8LocaleScope &) = delete;
};

} // namespace NPlugin
