#pragma once

// Name prefixes of the panel's temporary folders: "/tmp/" + prefix + 8 hexadecimal digits, each
// made anew with mode 0700 (NWindows::NFile::NDir::CTempDir).
const wchar_t *const kTempFolderPrefix_Open = L"tarnovaO";        // items opened from an archive
const wchar_t *const kTempFolderPrefix_Drag = L"tarnovaE";        // items dragged out of an archive
const wchar_t *const kTempFolderPrefix_Thumbnail = L"tarnovaPic"; // pictures for thumbnails
