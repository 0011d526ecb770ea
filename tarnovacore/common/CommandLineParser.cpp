#include "CommandLineParser.h"

namespace NCommandLineParser {

static inline bool IsBlank(wchar_t c) {
    return c == ' ' || c == '\t';
}

bool SplitCommandLine(const UString &src, UString &dest1, UString &dest2) {
    dest1.Empty();
    dest2.Empty();
    if (src.IsEmpty()) return false;
    if (IsBlank(src[0])) {
        dest2 = src.Ptr(1);
        return false;
    }
    bool quoteMode = false;
    const unsigned len = src.Len();
    for (unsigned i = 0; i < len; i++) {
        const wchar_t c = src[i];
        if (c == '"') {
            quoteMode = !quoteMode;
            continue;
        }
        if (!quoteMode && IsBlank(c)) {
            dest2 = src.Ptr(i + 1);
            return true;
        }
        dest1 += c;
    }
    return true;
}

void SplitCommandLine(const UString &s, UStringVector &parts) {
    UString sTemp(s);
    sTemp.Trim();
    parts.Clear();
    for (;;) {
        UString s1, s2;
        if (SplitCommandLine(sTemp, s1, s2)) parts.Add(s1);
        if (s2.IsEmpty()) break;
        sTemp = s2;
    }
}

static inline bool IsItSwitchChar(wchar_t c) {
    return c == '-';
}

CParser::CParser(unsigned numSwitches) : _numSwitches(numSwitches), _switches(nullptr) {
    _switches = new CSwitchResult[numSwitches];
}

CParser::~CParser() {
    delete[] _switches;
}

// Length of key when s starts with it (ASCII letters folded), else -1.
static int MatchKey(const wchar_t *s, unsigned sLen, const char *key) {
    unsigned i = 0;
    for (; key[i] != 0; i++) {
        if (i >= sLen) return -1;
        const wchar_t c = MyCharLower_Ascii(s[i]);
        if (c != (wchar_t)(Byte)MyCharLower_Ascii(key[i])) return -1;
    }
    return (int)i;
}

bool CParser::ParseString(const UString &s, const CSwitchForm *switchForms) {
    if (s.IsEmpty() || !IsItSwitchChar(s[0])) {
        ErrorMessage = "Unknown switch:";
        return false;
    }
    const wchar_t *body = s.Ptr(1);
    const unsigned bodyLen = s.Len() - 1;

    int switchIndex = -1;
    int maxLen = -1;
    for (unsigned i = 0; i < _numSwitches; i++) {
        const int keyLen = MatchKey(body, bodyLen, switchForms[i].Key);
        if (keyLen > maxLen) {
            maxLen = keyLen;
            switchIndex = (int)i;
        }
    }
    if (switchIndex < 0) {
        ErrorMessage = "Unknown switch:";
        return false;
    }

    const CSwitchForm &form = switchForms[(unsigned)switchIndex];
    CSwitchResult &sw = _switches[(unsigned)switchIndex];
    if (!form.Multi && sw.ThereIs) {
        ErrorMessage = "Multiple instances for switch:";
        return false;
    }
    sw.ThereIs = true;

    const wchar_t *tail = body + maxLen;
    const unsigned rem = bodyLen - (unsigned)maxLen;
    if (rem < form.MinLen) {
        ErrorMessage = "Too short switch:";
        return false;
    }

    sw.WithMinus = false;
    sw.PostCharIndex = -1;

    switch (form.Type) {
    case NSwitchType::kMinus:
        if (rem == 1) {
            sw.WithMinus = IsItSwitchChar(tail[0]);
            if (sw.WithMinus) return true;
            ErrorMessage = "Incorrect switch postfix:";
            return false;
        }
        break;

    case NSwitchType::kChar:
        if (rem == 1) {
            const wchar_t c = tail[0];
            if ((unsigned)c <= 0x7F && c != 0 && form.PostCharSet) {
                const int pos = FindCharPosInString(form.PostCharSet, (char)c);
                if (pos >= 0) {
                    sw.PostCharIndex = pos;
                    return true;
                }
            }
            ErrorMessage = "Incorrect switch postfix:";
            return false;
        }
        break;

    case NSwitchType::kString:
        sw.PostStrings.Add(UString(tail));
        return true;

    default:
        break;
    }

    if (rem != 0) {
        ErrorMessage = "Too long switch:";
        return false;
    }
    return true;
}

bool CParser::ParseStrings(const CSwitchForm *switchForms, const UStringVector &commandStrings) {
    ErrorLine.Empty();
    bool stopSwitch = false;
    FOR_VECTOR(i, commandStrings) {
        const UString &s = commandStrings[i];
        if (!stopSwitch) {
            if (s == L"--") {
                stopSwitch = true;
                StopSwitchIndex = NonSwitchStrings.Size();
                continue;
            }
            if (!s.IsEmpty() && IsItSwitchChar(s[0])) {
                if (ParseString(s, switchForms)) continue;
                ErrorLine = s;
                return false;
            }
        }
        NonSwitchStrings.Add(s);
    }
    if (!stopSwitch) StopSwitchIndex = NonSwitchStrings.Size();
    return true;
}

} // namespace NCommandLineParser
