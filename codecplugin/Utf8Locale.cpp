#include "Utf8Locale.h"

namespace NPlugin {

namespace {

// One locale object serves every thread (uselocale makes it the thread's own); it goes with the
// module when the program unloads it.
struct CUtf8LocaleHolder {
    locale_t loc;
    CUtf8LocaleHolder() {
        loc = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!loc) loc = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
    }
    ~CUtf8LocaleHolder() {
        if (loc) freelocale(loc);
    }
};

locale_t Utf8Locale() {
    static CUtf8LocaleHolder holder;
    return holder.loc;
}

} // namespace

CUtf8LocaleScope::CUtf8LocaleScope() : _old(static_cast<locale_t>(0)) {
    locale_t loc = Utf8Locale();
    if (loc) _old = uselocale(loc);
}

CUtf8LocaleScope::~CUtf8LocaleScope() {
    if (_old) uselocale(_old);
}

} // namespace NPlugin
