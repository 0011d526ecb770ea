#pragma once

// The order in which the file list shows names: digit runs compare as numbers, letters ignore
// case. Returns -1, 0 or 1.
int CompareFileNames_ForFolderList(const wchar_t *s1, const wchar_t *s2) throw();
