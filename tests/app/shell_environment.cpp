// One application object and one program start-up for the whole test program.
#include "app_test_support.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

} // namespace
