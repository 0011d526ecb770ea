#pragma once

#include "MyString.h"

namespace NCommandLineParser {

// Cuts the first word off src. Quotes group blanks and are dropped; there is no escape.
bool SplitCommandLine(const UString &src, UString &dest1, UString &dest2);
void SplitCommandLine(const UString &s, UStringVector &parts);

namespace NSwitchType {
enum EEnum {
    kSimple,
    kMinus,
    kString,
    kChar,
};
}

// One row of a switch table; the table is a constant array owned by its user.
struct CSwitchForm {
    const char *Key;
    Byte Type;
    bool Multi;
    Byte MinLen;
    const char *PostCharSet;
};

struct CSwitchResult {
    bool ThereIs;
    bool WithMinus;
    int PostCharIndex;
    UStringVector PostStrings;

    CSwitchResult() : ThereIs(false), WithMinus(false), PostCharIndex(0) {}
};

class CParser {
    unsigned _numSwitches;
    CSwitchResult *_switches;

public:
    UStringVector NonSwitchStrings;
    // Index in NonSwitchStrings of the first word after "--" (its size when there was none): those
    // words are names as they stand, never switches or list files.
    unsigned StopSwitchIndex = 0;
    AString ErrorMessage;
    UString ErrorLine;

    explicit CParser(unsigned numSwitches);
    ~CParser();
    CParser(const CParser &) = delete;
    CParser &operator=(const CParser &) = delete;

    bool ParseString(const UString &s, const CSwitchForm *switchForms);
    bool ParseStrings(const CSwitchForm *switchForms, const UStringVector &commandStrings);
    const CSwitchResult &operator[](unsigned index) const { return _switches[index]; }
};

} // namespace NCommandLineParser
