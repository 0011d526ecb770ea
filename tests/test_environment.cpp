// Every test program starts in the same locale environment whatever the machine sets: the
// archivers that tests run to make and check fixtures print names by it.
#include <stdlib.h>

namespace {

struct CTestEnvironment {
    CTestEnvironment()
    {
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
    }
};

const CTestEnvironment g_testEnvironment;

} // namespace
