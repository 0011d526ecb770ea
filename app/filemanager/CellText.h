#pragma once

// The text of one cell of the item list, and sizes with their digits grouped.
#include "archive/IFolder.h"
#include "archive/common/StreamUtils.h"
#include "common/MyString.h"

// Properties whose integer values are sizes and are shown grouped.
bool IsSizeProp(UInt32 propID) throw();

// Decimal digits in groups of three from the right, separated by one blank: "1 234 567".
// dest needs room for 27 characters.
void ConvertSizeToString(UInt64 value, wchar_t *dest) throw();
UString ConvertSizeToString(UInt64 value);

// A name as the item list shows it: a right-to-left override (or another direction or control
// character) becomes "_" and a run of five or more blanks becomes " ... ", so a name cannot hide
// its real extension. Every text that shows an item's name to the user shows this form.
UString MaskedItemName(const UString &name);

// Writes the text of property propID of one item into text (maxChars characters with the
// terminating zero). A raw property comes from folderRawProps; names and prefixes come from
// folderGetItemName when the folder supplies them. The result is a failing raw-property read;
// a failing ordinary read shows "Error: " instead.
HRESULT SetFolderItemText(IFolderFolder *folder, IArchiveGetRawProps *folderRawProps,
                          IFolderGetItemName *folderGetItemName, UInt32 item, PROPID propID, bool isRawProp,
                          wchar_t *text, int maxChars);
