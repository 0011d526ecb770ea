#pragma once

#include "common/MyString.h"

// Files made by an update run that are deleted when the run fails.
class CTempFiles {
public:
    UStringVector Paths;

    CTempFiles() {}
    CTempFiles(const CTempFiles &) = delete;
    CTempFiles &operator=(const CTempFiles &) = delete;
    ~CTempFiles() { Clear(); }
    void Clear();
};
