#pragma once

#include "MyString.h"

// Start-up handling of the process arguments: sets the locale, the conversion switch and
// R7ERI_HOME_DIR, converts argv into parts and hides password switches in argv itself.
// Runs on the main thread before any other thread starts.
void mySplitCommandLine(int numArgs, char **args, UStringVector &parts);
