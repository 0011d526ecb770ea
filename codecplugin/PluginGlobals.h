#pragma once

// Process-wide settings the program copies into the plug-in after loading it.
extern "C" {
// Nonzero: names are real text (UTF-8 decoded); zero: every byte of a name is one character.
extern int global_use_utf16_conversion;
extern int global_use_lstat;
}
