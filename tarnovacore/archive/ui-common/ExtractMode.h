#pragma once

// The path and overwrite modes and the system-specific options of extraction. The modes travel as
// 32-bit integers through the folder interfaces, so this header includes nothing.

namespace NExtract {

namespace NPathMode {
enum EEnum {
    kFullPaths = 0, // the whole stored path, minus a removed prefix
    kCurPaths,      // like kFullPaths, except in the agent's base-folder mode
    kNoPaths,       // the name only
    kAbsPaths,      // the whole path; an absolute stored path stays absolute
    kNoPathsAlt     // the name only; an alternate stream loses its host's name too
};
}

namespace NOverwriteMode {
enum EEnum {
    kAsk = 0,
    kOverwrite,
    kSkip,
    kRename,        // write the new file under a free name
    kRenameExisting // move the old file to a free name first
};
}

} // namespace NExtract

// A switch value and whether it was given.
struct CBoolPair {
    bool Val;
    bool Def;

    CBoolPair() : Val(false), Def(false) {}
    void Init() {
        Val = false;
        Def = false;
    }
    void SetTrueTrue() {
        Val = true;
        Def = true;
    }
    void SetVal_as_Defined(bool val) {
        Val = val;
        Def = true;
    }
};

struct CExtractNtOptions {
    CBoolPair NtSecurity;
    CBoolPair SymLinks;
    CBoolPair HardLinks;
    CBoolPair AltStreams;
    bool ReplaceColonForAltStream;
    bool WriteToAltStreamIfColon;

    CExtractNtOptions() : ReplaceColonForAltStream(false), WriteToAltStreamIfColon(false) {
        SymLinks.Val = true;
        HardLinks.Val = true;
        AltStreams.Val = true;
    }
};
