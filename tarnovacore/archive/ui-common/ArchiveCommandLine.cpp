#include "ArchiveCommandLine.h"

#include <unistd.h>

#include "ArchiveLink.h"
#include "EnumDirItems.h"
#include "common/Buffer.h"
#include "common/StdOutStream.h"
#include "common/StringConvert.h"
#include "common/StringToInt.h"
#include "common/UTFConvert.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileIO.h"
#include "windows/FileName.h"

using namespace NCommandLineParser;
using namespace NWindows;
using namespace NFile;

CArcCmdLineException::CArcCmdLineException(const char *message, const wchar_t *offending)
    : UString(MultiByteToUnicodeString(AString(message))) {
    if (offending) {
        Add_LF();
        operator+=(offending);
    }
}

// ---------- commands ----------

bool CArcCommand::IsFromExtractGroup() const {
    switch (CommandType) {
    case NCommandType::kTest:
    case NCommandType::kExtract:
    case NCommandType::kExtractFull:
        return true;
    default:
        return false;
    }
}

bool CArcCommand::IsFromUpdateGroup() const {
    switch (CommandType) {
    case NCommandType::kAdd:
    case NCommandType::kUpdate:
    case NCommandType::kDelete:
    case NCommandType::kRename:
        return true;
    default:
        return false;
    }
}

NExtract::NPathMode::EEnum CArcCommand::GetPathMode() const {
    switch (CommandType) {
    case NCommandType::kTest:
    case NCommandType::kExtractFull:
        return NExtract::NPathMode::kFullPaths;
    default:
        return NExtract::NPathMode::kNoPaths;
    }
}

static const char *const kCommandChars = "audtexlbih";

static bool ParseArchiveCommand(const UString &commandString, CArcCommand &command) {
    UString s(commandString);
    s.MakeLower_Ascii();
    if (s.Len() == 1) {
        if (s[0] > 0x7F) return false;
        const int index = FindCharPosInString(kCommandChars, (char)s[0]);
        if (index < 0) return false;
        command.CommandType = (NCommandType::EEnum)index;
        return true;
    }
    if (s.Len() == 2 && s[0] == 'r' && s[1] == 'n') {
        command.CommandType = NCommandType::kRename;
        return true;
    }
    return false;
}

// ---------- the switch table ----------

namespace NKey {
enum Enum {
    kHelp1 = 0,
    kHelp2,
    kHelp3,

    kDisableHeaders,
    kDisablePercents,
    kShowTime,
    kLogLevel,

    kOutStream,
    kErrStream,
    kPercentStream,

    kYes,

    kShowDialog,
    kOverwrite,

    kArchiveType,
    kExcludedArcType,

    kProperty,
    kOutputDir,
    kWorkingDir,

    kInclude,
    kExclude,
    kArInclude,
    kArExclude,
    kNoArName,

    kUpdate,
    kVolume,
    kRecursed,

    kAffinity,
    kSfx,
    kEmail,
    kHash,

    kStdIn,
    kStdOut,

    kLargePages,
    kListfileCharSet,
    kConsoleCharSet,
    kTechMode,

    kUseLStat,

    kShareForWrite,
    kCaseSensitive,
    kArcNameMode,

    kDisableWildcardParsing,
    kElimDup,
    kFullPathMode,

    kHardLinks,
    kSymLinks,
    kNtSecurity,

    kAltStreams,
    kReplaceColonForAltStream,
    kWriteToAltStreamIfColon,

    kDeleteAfterCompressing,
    kSetArcMTime,

    kPassword,

    kNumSwitches
};
}

static const char kRecursedIDChar = 'r';
static const char *const kRecursedPostCharSet = "0-";
static const char *const kOverwritePostCharSet = "asut";
static const char *const kStreamPostCharSet = "012";
static const char *const kArcNameModePostCharSet = "sea";

static const CSwitchForm kSwitchForms[] = {
    {"?", NSwitchType::kSimple, false, 0, nullptr},
    {"h", NSwitchType::kSimple, false, 0, nullptr},
    {"-help", NSwitchType::kSimple, false, 0, nullptr},

    {"ba", NSwitchType::kSimple, false, 0, nullptr},
    {"bd", NSwitchType::kSimple, false, 0, nullptr},
    {"bt", NSwitchType::kSimple, false, 0, nullptr},
    {"bb", NSwitchType::kString, false, 0, nullptr},

    {"bso", NSwitchType::kChar, false, 1, kStreamPostCharSet},
    {"bse", NSwitchType::kChar, false, 1, kStreamPostCharSet},
    {"bsp", NSwitchType::kChar, false, 1, kStreamPostCharSet},

    {"y", NSwitchType::kSimple, false, 0, nullptr},

    {"ad", NSwitchType::kSimple, false, 0, nullptr},
    {"ao", NSwitchType::kChar, false, 1, kOverwritePostCharSet},

    {"t", NSwitchType::kString, false, 1, nullptr},
    {"stx", NSwitchType::kString, true, 1, nullptr},

    {"m", NSwitchType::kString, true, 1, nullptr},
    {"o", NSwitchType::kString, false, 1, nullptr},
    {"w", NSwitchType::kString, false, 0, nullptr},

    {"i", NSwitchType::kString, true, 2, nullptr},
    {"x", NSwitchType::kString, true, 2, nullptr},
    {"ai", NSwitchType::kString, true, 2, nullptr},
    {"ax", NSwitchType::kString, true, 2, nullptr},
    // The browser window repeats "-an" before every archive it names.
    {"an", NSwitchType::kSimple, true, 0, nullptr},

    {"u", NSwitchType::kString, true, 1, nullptr},
    {"v", NSwitchType::kString, true, 1, nullptr},
    {"r", NSwitchType::kChar, false, 0, kRecursedPostCharSet},

    {"stm", NSwitchType::kString, false, 0, nullptr},
    {"sfx", NSwitchType::kString, false, 0, nullptr},
    {"seml", NSwitchType::kString, false, 0, nullptr},
    {"scrc", NSwitchType::kString, true, 0, nullptr},

    {"si", NSwitchType::kString, false, 0, nullptr},
    {"so", NSwitchType::kSimple, false, 0, nullptr},

    {"slp", NSwitchType::kMinus, false, 0, nullptr},
    {"scs", NSwitchType::kString, false, 0, nullptr},
    {"scc", NSwitchType::kString, false, 0, nullptr},
    {"slt", NSwitchType::kSimple, false, 0, nullptr},

    {"l", NSwitchType::kSimple, false, 0, nullptr},

    {"ssw", NSwitchType::kSimple, false, 0, nullptr},
    {"ssc", NSwitchType::kMinus, false, 0, nullptr},
    {"sa", NSwitchType::kChar, false, 1, kArcNameModePostCharSet},

    {"spd", NSwitchType::kSimple, false, 0, nullptr},
    {"spe", NSwitchType::kMinus, false, 0, nullptr},
    {"spf", NSwitchType::kString, false, 0, nullptr},

    {"snh", NSwitchType::kMinus, false, 0, nullptr},
    {"snl", NSwitchType::kMinus, false, 0, nullptr},
    {"sni", NSwitchType::kSimple, false, 0, nullptr},

    {"sns", NSwitchType::kMinus, false, 0, nullptr},
    {"snr", NSwitchType::kSimple, false, 0, nullptr},
    {"snc", NSwitchType::kSimple, false, 0, nullptr},

    {"sdel", NSwitchType::kSimple, false, 0, nullptr},
    {"stl", NSwitchType::kSimple, false, 0, nullptr},

    {"p", NSwitchType::kString, false, 0, nullptr},
};

static_assert(sizeof(kSwitchForms) / sizeof(kSwitchForms[0]) == NKey::kNumSwitches, "switch table and keys differ");

static const char *const kCannotFindListFile = "Cannot find listfile";
static const char *const kIncorrectListFile = "Incorrect item in listfile.\nCheck charset encoding and -scs switch.";
static const char *const kTerminalOutError = "I won't write compressed data to a terminal";
static const char *const kSameTerminalError = "I won't write data and program's messages to same stream";
static const char *const kEmptyFilePath = "Empty file path";
static const char *const kIncorrectUpdateSwitch = "incorrect update switch command";

CArcCmdLineParser::CArcCmdLineParser() : parser(NKey::kNumSwitches) {}

// ---------- code pages ----------

struct CCodePagePair {
    const char *Name;
    Int32 CodePage;
};

static const unsigned kNumByteOnlyCodePages = 3;

static const CCodePagePair g_CodePagePairs[] = {
    {"utf-8", 65001}, {"win", 0}, {"dos", 1}, {"utf-16le", 1200}, {"utf-16be", 1201},
};

static Int32 FindCharset(const NCommandLineParser::CParser &parser, unsigned keyIndex, bool byteOnly,
                         Int32 defaultVal) {
    if (!parser[keyIndex].ThereIs) return defaultVal;

    UString name(parser[keyIndex].PostStrings.Back());
    {
        const wchar_t *end;
        const UInt32 v = ConvertStringToUInt32(name, &end);
        if (*end == 0 && end != name.Ptr() && v < ((UInt32)1 << 16)) return (Int32)v;
    }
    name.MakeLower_Ascii();
    const unsigned num = byteOnly ? kNumByteOnlyCodePages : sizeof(g_CodePagePairs) / sizeof(g_CodePagePairs[0]);
    for (unsigned i = 0; i < num; i++) {
        const CCodePagePair &pair = g_CodePagePairs[i];
        if (StringsAreEqual_Ascii(name, pair.Name)) return pair.CodePage;
    }
    throw CArcCmdLineException("Unsupported charset:", name);
}

// ---------- censor items and list files ----------

static void AddNameToCensor(NWildcard::CCensor &censor, const UString &name, bool include, NRecursedType::EEnum type,
                            bool wildcardMatching) {
    bool recursed = false;
    switch (type) {
    case NRecursedType::kWildcardOnlyRecursive:
        recursed = DoesNameContainWildcard(name);
        break;
    case NRecursedType::kRecursive:
        recursed = true;
        break;
    default:
        break;
    }
    censor.AddPreItem(include, name, recursed, wildcardMatching);
}

static void AddRenamePair(CObjectVector<CRenamePair> *renamePairs, const UString &oldName, const UString &newName,
                          NRecursedType::EEnum type, bool wildcardMatching) {
    CRenamePair &pair = renamePairs->AddNew();
    pair.FromPath = oldName;
    pair.ToPath = newName;
    pair.Recursion = type;
    pair.MatchWildcards = wildcardMatching;
    if (!pair.Prepare()) {
        UString val;
        val += pair.FromPath;
        val.Add_LF();
        val += pair.ToPath;
        val.Add_LF();
        if (type == NRecursedType::kRecursive) val += L"-r";
        throw CArcCmdLineException("Unsupported rename command:", val);
    }
}

static void AddToCensorFromListFile(CObjectVector<CRenamePair> *renamePairs, NWildcard::CCensor &censor,
                                    const wchar_t *fileName, bool include, NRecursedType::EEnum type,
                                    bool wildcardMatching, Int32 codePage) {
    UStringVector names;
    if (!NFind::DoesFileExist(fileName)) throw CArcCmdLineException(kCannotFindListFile, fileName);
    if (!ReadNamesFromListFile(fileName, names, (UInt32)codePage))
        throw CArcCmdLineException(kIncorrectListFile, fileName);
    if (renamePairs) {
        if ((names.Size() & 1) != 0) throw CArcCmdLineException(kIncorrectListFile, fileName);
        for (unsigned i = 0; i < names.Size(); i += 2)
            AddRenamePair(renamePairs, names[i], names[i + 1], type, wildcardMatching);
    } else
        FOR_VECTOR(i, names) {
            AddNameToCensor(censor, names[i], include, type, wildcardMatching);
        }
}

// True when the name, read inside an archive, climbs out of its root or names the root itself:
// such a name names no item.
static bool NameLeavesArchiveRoot(const UString &name) {
    int depth = 0;
    unsigned start = 0;
    for (unsigned i = 0; i <= name.Len(); i++) {
        if (i != name.Len() && name[i] != L'/' && name[i] != L'\\') continue;
        const UString part = name.Mid(start, i - start);
        start = i + 1;
        if (part.IsEmpty() || part == L".") continue;
        if (part == L"..") {
            if (--depth < 0) return true;
        } else
            depth++;
    }
    return depth == 0;
}

static void AddToCensorFromNonSwitchesStrings(CObjectVector<CRenamePair> *renamePairs, unsigned startIndex,
                                              NWildcard::CCensor &censor, const UStringVector &nonSwitchStrings,
                                              NRecursedType::EEnum type, bool wildcardMatching,
                                              bool thereAreSwitchIncludes, Int32 codePage,
                                              unsigned literalIndex) {
    if ((renamePairs || nonSwitchStrings.Size() == startIndex) && !thereAreSwitchIncludes)
        AddNameToCensor(censor, UString(L"*"), true, type, true);

    int oldIndex = -1;
    for (unsigned i = startIndex; i < nonSwitchStrings.Size(); i++) {
        const UString &s = nonSwitchStrings[i];
        if (s.IsEmpty()) throw CArcCmdLineException(kEmptyFilePath);
        if (s[0] == '@' && i < literalIndex)
            AddToCensorFromListFile(renamePairs, censor, s.Ptr(1), true, type, wildcardMatching, codePage);
        else if (renamePairs) {
            if (oldIndex == -1)
                oldIndex = (int)i;
            else {
                AddRenamePair(renamePairs, nonSwitchStrings[(unsigned)oldIndex], s, NRecursedType::kNonRecursive,
                              wildcardMatching);
                oldIndex = -1;
            }
        } else
            AddNameToCensor(censor, s, true, type, wildcardMatching);
    }

    if (oldIndex != -1)
        throw CArcCmdLineException("There is no second file name for rename pair:",
                                   nonSwitchStrings[(unsigned)oldIndex]);
}

static void AddSwitchWildcardsToCensor(NWildcard::CCensor &censor, const UStringVector &strings, bool include,
                                       NRecursedType::EEnum commonRecursedType, bool wildcardMatching, Int32 codePage) {
    const unsigned kSomeCludePostStringMinSize = 2;
    const unsigned kSomeCludeAfterRecursedPostStringMinSize = 2;
    const char *const kIncorrectWildcardInListFile = "Incorrect wildcard type marker";

    FOR_VECTOR(i, strings) {
        const UString &name = strings[i];
        NRecursedType::EEnum recursedType;
        unsigned pos = 0;

        if (name.Len() < kSomeCludePostStringMinSize) throw CArcCmdLineException("Too short switch", name);

        if (::MyCharLower_Ascii(name[pos]) == kRecursedIDChar) {
            pos++;
            const wchar_t c = name[pos];
            int index = -1;
            if (c <= 0x7F) index = FindCharPosInString(kRecursedPostCharSet, (char)c);
            recursedType = (index < 0)
                               ? NRecursedType::kRecursive
                               : (index == 0 ? NRecursedType::kWildcardOnlyRecursive : NRecursedType::kNonRecursive);
            if (index >= 0) pos++;
        } else
            recursedType = commonRecursedType;

        if (name.Len() < pos + kSomeCludeAfterRecursedPostStringMinSize)
            throw CArcCmdLineException("Too short switch", name);

        const UString tail = name.Ptr(pos + 1);
        if (name[pos] == '!')
            AddNameToCensor(censor, tail, include, recursedType, wildcardMatching);
        else if (name[pos] == '@')
            AddToCensorFromListFile(nullptr, censor, tail, include, recursedType, wildcardMatching, codePage);
        else
            throw CArcCmdLineException(kIncorrectWildcardInListFile, name);
    }
}

// Reads exactly size bytes; a file that is shorter than it claimed is refused.
static bool ReadWhole(NIO::CInFile &file, void *data, UInt32 size) {
    Byte *p = (Byte *)data;
    while (size != 0) {
        UInt32 processed = 0;
        if (!file.Read(p, size, processed) || processed == 0) return false;
        p += processed;
        size -= processed;
    }
    return true;
}

bool ReadNamesFromListFile(const wchar_t *path, UStringVector &names, UInt32 codePage) {
    UString u;
    {
        NIO::CInFile file;
        // A list file named through a link is read through it.
        if (!file.Open(path, true)) return false;
        UInt64 fileSize;
        if (!file.GetLength(fileSize)) return false;
        if (fileSize >= ((UInt32)1 << 31) - 32) return false;

        if (codePage == 1200 || codePage == 1201) {
            if ((fileSize & 1) != 0) return false;
            CByteBuffer buf((size_t)fileSize);
            if (!ReadWhole(file, buf, (UInt32)fileSize)) return false;
            const unsigned num = (unsigned)fileSize / 2;
            wchar_t *p = u.GetBuf(num);
            const Byte *b = buf;
            for (unsigned i = 0; i < num; i++) {
                const wchar_t c = (codePage == 1200) ? (wchar_t)(b[i * 2] | ((unsigned)b[i * 2 + 1] << 8))
                                                     : (wchar_t)(b[i * 2 + 1] | ((unsigned)b[i * 2] << 8));
                if (c == 0) return false;
                p[i] = c;
            }
            p[num] = 0;
            u.ReleaseBuf_SetLen(num);
        } else {
            AString s;
            char *p = s.GetBuf((unsigned)fileSize);
            if (!ReadWhole(file, p, (UInt32)fileSize)) return false;
            p[(unsigned)fileSize] = 0;
            s.ReleaseBuf_CalcLen((unsigned)fileSize);
            if (s.Len() != fileSize) return false;

            if (codePage == 65001) {
                if (!ConvertUTF8ToUnicode(s, u)) return false;
            } else
                MultiByteToUnicodeString2(u, s, codePage);
        }
    }

    const wchar_t kGoodBOM = 0xFEFF;
    const wchar_t kBadBOM = 0xFFFE;

    UString s;
    unsigned i = 0;
    for (; i < u.Len() && u[i] == kGoodBOM; i++) {
    }
    for (; i < u.Len(); i++) {
        const wchar_t c = u[i];
        if (c == kGoodBOM || c == kBadBOM) return false;
        if (c == '\n' || c == '\r') {
            if (!s.IsEmpty()) {
                s.Trim();
                if (s.Len() > 1 && s[0] == '"' && s.Back() == '"') s = s.Mid(1, s.Len() - 2);
                if (!s.IsEmpty()) names.Add(s);
            }
            s.Empty();
        } else
            s += c;
    }
    s.Trim();
    if (s.Len() > 1 && s[0] == '"' && s.Back() == '"') s = s.Mid(1, s.Len() - 2);
    if (!s.IsEmpty()) names.Add(s);
    return true;
}

// ---------- small helpers ----------

void SplitString(const UString &srcString, UStringVector &destStrings) {
    destStrings.Clear();
    unsigned len = srcString.Len();
    if (len == 0) return;
    UString s;
    for (unsigned i = 0; i < len; i++) {
        const wchar_t c = srcString[i];
        if (c == L' ') {
            if (!s.IsEmpty()) {
                destStrings.Add(s);
                s.Empty();
            }
        } else
            s += c;
    }
    if (!s.IsEmpty()) destStrings.Add(s);
}

void SplitStringToTwoStrings(const UString &src, UString &dest1, UString &dest2) {
    dest1.Empty();
    dest2.Empty();
    bool quoteMode = false;
    for (unsigned i = 0; i < src.Len(); i++) {
        const wchar_t c = src[i];
        if (c == L'"')
            quoteMode = !quoteMode;
        else if (c == L' ' && !quoteMode) {
            dest2 = src.Ptr(i + 1);
            return;
        } else
            dest1 += c;
    }
}

static int CompareFileNames_ForIndices(const unsigned *p1, const unsigned *p2, void *param) {
    const UStringVector &names = *(const UStringVector *)param;
    return CompareFileNames(names[*p1], names[*p2]);
}

void SortFileNames(const UStringVector &strings, CRecordVector<unsigned> &indices) {
    const unsigned numItems = strings.Size();
    indices.ClearAndSetSize(numItems);
    if (numItems == 0) return;
    unsigned *vals = &indices[0];
    for (unsigned i = 0; i < numItems; i++)
        vals[i] = i;
    indices.Sort(CompareFileNames_ForIndices, (void *)&strings);
}

HRESULT EnumerateDirItemsAndSort(NWildcard::CCensor &censor, NWildcard::ECensorPathMode censorPathMode,
                                 const UString &addPathPrefix, UStringVector &sortedPaths,
                                 UStringVector &sortedFullPaths, CDirItemsStat &st, IDirItemsCallback *callback) {
    UStringVector paths;
    {
        CDirItems dirItems;
        dirItems.Callback = callback;
        {
            const HRESULT res = EnumerateItems(censor, censorPathMode, addPathPrefix, dirItems);
            st = dirItems.Stat;
            if (res != S_OK) return res;
        }
        FOR_VECTOR(i, dirItems.Items) {
            const CDirItem &dirItem = dirItems.Items[i];
            if (!dirItem.IsDir()) paths.Add(dirItems.GetPhyPath(i));
        }
    }

    if (paths.Size() == 0) throw CArcCmdLineException("Cannot find archive");

    UStringVector fullPaths;
    FOR_VECTOR(i, paths) {
        UString fullPath;
        NName::GetFullPath(paths[i], fullPath);
        fullPaths.Add(fullPath);
    }

    CRecordVector<unsigned> indices;
    SortFileNames(fullPaths, indices);
    sortedPaths.ClearAndReserve(indices.Size());
    sortedFullPaths.ClearAndReserve(indices.Size());

    FOR_VECTOR(i, indices) {
        const unsigned index = indices[i];
        sortedPaths.AddInReserved(paths[index]);
        sortedFullPaths.AddInReserved(fullPaths[index]);
        if (i > 0 && CompareFileNames(sortedFullPaths[i], sortedFullPaths[i - 1]) == 0)
            throw CArcCmdLineException("Duplicate archive path:", sortedFullPaths[i]);
    }

    return S_OK;
}

// ---------- Parse1 ----------

static void SetBoolPair(const NCommandLineParser::CParser &parser, unsigned switchID, CBoolPair &bp) {
    bp.Def = parser[switchID].ThereIs;
    if (bp.Def) bp.Val = !parser[switchID].WithMinus;
}

static bool IsDecimal(const UString &s) {
    if (s.IsEmpty()) return false;
    for (unsigned i = 0; i < s.Len(); i++)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

static bool IsHex(const UString &s) {
    for (unsigned i = 0; i < s.Len(); i++) {
        const wchar_t c = s[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

void CArcCmdLineParser::Parse1(const UStringVector &commandStrings, CArcCmdLineOptions &options) {
    if (!parser.ParseStrings(kSwitchForms, commandStrings))
        throw CArcCmdLineException(parser.ErrorMessage, parser.ErrorLine);

    options.StdInIsTerminal = isatty(0) != 0;
    options.StdOutIsTerminal = isatty(1) != 0;
    options.StdErrIsTerminal = isatty(2) != 0;

    options.HelpRequested =
        parser[NKey::kHelp1].ThereIs || parser[NKey::kHelp2].ThereIs || parser[NKey::kHelp3].ThereIs;

    options.ReadStdIn = parser[NKey::kStdIn].ThereIs;
    options.WriteStdOut = parser[NKey::kStdOut].ThereIs;
    options.ShowHeaders = !parser[NKey::kDisableHeaders].ThereIs;
    options.ShowTechInfo = parser[NKey::kTechMode].ThereIs;
    options.ShowTimings = parser[NKey::kShowTime].ThereIs;

    if (parser[NKey::kDisablePercents].ThereIs || options.WriteStdOut || !options.StdOutIsTerminal)
        options.PercentStreamNumber = 0;
    if (options.WriteStdOut) options.OutStreamNumber = 0;

    if (parser[NKey::kOutStream].ThereIs) options.OutStreamNumber = (unsigned)parser[NKey::kOutStream].PostCharIndex;
    if (parser[NKey::kErrStream].ThereIs) options.ErrStreamNumber = (unsigned)parser[NKey::kErrStream].PostCharIndex;
    if (parser[NKey::kPercentStream].ThereIs)
        options.PercentStreamNumber = (unsigned)parser[NKey::kPercentStream].PostCharIndex;

    if (parser[NKey::kLogLevel].ThereIs) {
        const UString &s = parser[NKey::kLogLevel].PostStrings[0];
        if (s.IsEmpty())
            options.LogLevel = 1;
        else {
            const wchar_t *end;
            const UInt32 v = ConvertStringToUInt32(s, &end);
            if (!IsDecimal(s) || *end != 0) throw CArcCmdLineException("Unsupported switch postfix -bb", s);
            options.LogLevel = (unsigned)v;
        }
    }

    if (parser[NKey::kCaseSensitive].ThereIs) {
        options.CaseSensitiveSet = true;
        options.CaseSensitive = !parser[NKey::kCaseSensitive].WithMinus;
        g_CaseSensitive = options.CaseSensitive;
    }

    options.UseLargePages = parser[NKey::kLargePages].ThereIs && !parser[NKey::kLargePages].WithMinus;

    if (parser[NKey::kAffinity].ThereIs) {
        const UString &s = parser[NKey::kAffinity].PostStrings[0];
        if (!s.IsEmpty() && !IsHex(s)) throw CArcCmdLineException("Unsupported switch postfix -stm", s);
    }
}

// ---------- Parse2 ----------

static const wchar_t kUpdateNewArchivePostCharID = '!';

namespace NUpdateArchive {
static const char *const kUpdatePairStateIDSet = "pqrxyzw";
static const int kUpdatePairStateNotSupportedActions[] = {2, 2, 1, -1, -1, -1, -1};
static const unsigned kNumUpdatePairActions = 4;
} // namespace NUpdateArchive

static bool ParseUpdateCommandString2(const UString &command, NUpdateArchive::CActionSet &actionSet,
                                      UString &postString) {
    for (unsigned i = 0; i < command.Len();) {
        const wchar_t c = MyCharLower_Ascii(command[i]);
        int statePos = -1;
        if (c <= 0x7F && c != 0) statePos = FindCharPosInString(NUpdateArchive::kUpdatePairStateIDSet, (char)c);
        if (statePos < 0) {
            postString = command.Ptr(i);
            return true;
        }
        i++;
        if (i >= command.Len()) return false;
        const wchar_t d = command[i];
        if (d < '0' || d >= (wchar_t)('0' + NUpdateArchive::kNumUpdatePairActions)) return false;
        const int actionPos = (int)(d - '0');
        if (actionPos == NUpdateArchive::kUpdatePairStateNotSupportedActions[(unsigned)statePos]) return false;
        actionSet.StateActions[(unsigned)statePos] = (NUpdateArchive::EPairAction)actionPos;
        i++;
    }
    postString.Empty();
    return true;
}

static void ParseUpdateCommandString(CUpdateOptions &options, const UStringVector &updatePostStrings,
                                     const NUpdateArchive::CActionSet &defaultActionSet) {
    FOR_VECTOR(i, updatePostStrings) {
        const UString &updateString = updatePostStrings[i];
        if (updateString.IsEqualTo(L"-")) {
            if (options.ReplaceSource) {
                options.ReplaceSource = false;
                options.Outputs.Delete(0);
            }
            continue;
        }
        NUpdateArchive::CActionSet actionSet = defaultActionSet;
        UString postString;
        if (!ParseUpdateCommandString2(updateString, actionSet, postString))
            throw CArcCmdLineException(kIncorrectUpdateSwitch, updateString);
        if (postString.IsEmpty()) {
            if (options.ReplaceSource) options.Outputs[0].Actions = actionSet;
        } else {
            if (postString[0] != kUpdateNewArchivePostCharID || postString.Len() < 2)
                throw CArcCmdLineException(kIncorrectUpdateSwitch, updateString);
            CUpdateArchiveCommand uc;
            uc.GivenPath = postString.Ptr(1);
            uc.Actions = actionSet;
            options.Outputs.Add(uc);
        }
    }
}

static void SetAddCommandOptions(NCommandType::EEnum commandType, const NCommandLineParser::CParser &parser,
                                 CUpdateOptions &options) {
    NUpdateArchive::CActionSet defaultActionSet;
    switch (commandType) {
    case NCommandType::kAdd:
        defaultActionSet = NUpdateArchive::k_ActionSet_Add;
        break;
    case NCommandType::kDelete:
        defaultActionSet = NUpdateArchive::k_ActionSet_Delete;
        break;
    default:
        defaultActionSet = NUpdateArchive::k_ActionSet_Update;
        break;
    }

    options.ReplaceSource = true;
    CUpdateArchiveCommand updateMainCommand;
    updateMainCommand.Actions = defaultActionSet;
    options.Outputs.Clear();
    options.Outputs.Add(updateMainCommand);

    if (parser[NKey::kUpdate].ThereIs)
        ParseUpdateCommandString(options, parser[NKey::kUpdate].PostStrings, defaultActionSet);

    if (parser[NKey::kWorkingDir].ThereIs) {
        const UString &postString = parser[NKey::kWorkingDir].PostStrings[0];
        if (postString.IsEmpty())
            NDir::MyGetTempPath(options.WorkFolder);
        else
            options.WorkFolder = postString;
    }

    options.MakeSfx = parser[NKey::kSfx].ThereIs;
    if (options.MakeSfx) options.SfxModulePath = parser[NKey::kSfx].PostStrings[0];

    if (parser[NKey::kVolume].ThereIs) {
        const UStringVector &sv = parser[NKey::kVolume].PostStrings;
        FOR_VECTOR(i, sv) {
            UInt64 size;
            if (!ParseComplexSize(sv[i], size) || size == 0)
                throw CArcCmdLineException("Incorrect volume size:", sv[i]);
            options.VolumeSizes.Add(size);
        }
    }
}

static void SetMethodOptions(const NCommandLineParser::CParser &parser, CObjectVector<CProperty> &properties) {
    if (parser[NKey::kProperty].ThereIs) {
        FOR_VECTOR(i, parser[NKey::kProperty].PostStrings) {
            const UString &postString = parser[NKey::kProperty].PostStrings[i];
            CProperty prop;
            const int index = postString.Find(L'=');
            if (index < 0)
                prop.Name = postString;
            else {
                prop.Name = postString.Left((unsigned)index);
                prop.Value = postString.Ptr((unsigned)index + 1);
            }
            properties.Add(prop);
        }
    }
}

static void Parse2Body(const NCommandLineParser::CParser &parser, CArcCmdLineOptions &options) {
    const UStringVector &nonSwitchStrings = parser.NonSwitchStrings;
    const unsigned numNonSwitchStrings = nonSwitchStrings.Size();
    if (numNonSwitchStrings < 1) throw CArcCmdLineException("The command must be specified");

    if (!ParseArchiveCommand(nonSwitchStrings[0], options.Command))
        throw CArcCmdLineException("Unsupported command:", nonSwitchStrings[0]);

    if (parser[NKey::kHash].ThereIs) options.HashNames = parser[NKey::kHash].PostStrings;

    SetBoolPair(parser, NKey::kElimDup, options.ExtractSettings.ElimDup);

    NWildcard::ECensorPathMode censorPathMode = NWildcard::k_RelatPath;
    if (parser[NKey::kFullPathMode].ThereIs) {
        censorPathMode = NWildcard::k_AbsPath;
        const UString &s = parser[NKey::kFullPathMode].PostStrings[0];
        if (!s.IsEmpty()) {
            if (s == L"2")
                censorPathMode = NWildcard::k_FullPath;
            else
                throw CArcCmdLineException("Unsupported -spf:", s);
        }
    }

    NRecursedType::EEnum recursedType;
    if (parser[NKey::kRecursed].ThereIs) {
        switch (parser[NKey::kRecursed].PostCharIndex) {
        case 0:
            recursedType = NRecursedType::kWildcardOnlyRecursive;
            break;
        case 1:
            recursedType = NRecursedType::kNonRecursive;
            break;
        default:
            recursedType = NRecursedType::kRecursive;
            break;
        }
    } else
        recursedType = NRecursedType::kNonRecursive;

    const bool wildcardMatching = !parser[NKey::kDisableWildcardParsing].ThereIs;

    g_CodePage = FindCharset(parser, NKey::kConsoleCharSet, true, -1);
    const Int32 codePage = FindCharset(parser, NKey::kListfileCharSet, false, 65001);

    const bool thereAreSwitchIncludes = parser[NKey::kInclude].ThereIs;

    if (parser[NKey::kInclude].ThereIs)
        AddSwitchWildcardsToCensor(options.Censor, parser[NKey::kInclude].PostStrings, true, recursedType,
                                   wildcardMatching, codePage);
    if (parser[NKey::kExclude].ThereIs)
        AddSwitchWildcardsToCensor(options.Censor, parser[NKey::kExclude].PostStrings, false, recursedType,
                                   wildcardMatching, codePage);

    unsigned curCommandIndex = 1;
    const bool isExtractGroupCommand = options.Command.IsFromExtractGroup();
    const NCommandType::EEnum type = options.Command.CommandType;
    const bool isRename = (type == NCommandType::kRename);

    bool thereIsArchiveName = !parser[NKey::kNoArName].ThereIs && type != NCommandType::kBenchmark &&
                              type != NCommandType::kInfo && type != NCommandType::kHash;
    if ((isExtractGroupCommand || type == NCommandType::kList || isRename) && options.ReadStdIn)
        thereIsArchiveName = false;

    if (parser[NKey::kArcNameMode].ThereIs)
        options.UpdateSettings.NameMode = (EArcNameMode)parser[NKey::kArcNameMode].PostCharIndex;

    if (thereIsArchiveName) {
        if (curCommandIndex >= numNonSwitchStrings) throw CArcCmdLineException("Cannot find archive name");
        options.ArchiveName = nonSwitchStrings[curCommandIndex++];
        if (options.ArchiveName.IsEmpty()) throw CArcCmdLineException("Archive name cannot by empty");
    }

    if (type == NCommandType::kDelete)
        for (unsigned i = curCommandIndex; i < numNonSwitchStrings; i++) {
            const UString &s = nonSwitchStrings[i];
            if (!s.IsEmpty() && (s[0] != L'@' || i >= parser.StopSwitchIndex) && NameLeavesArchiveRoot(s))
                throw CArcCmdLineException("The name is outside the archive and names no item:", s);
        }

    AddToCensorFromNonSwitchesStrings(isRename ? &options.UpdateSettings.Renames : nullptr, curCommandIndex,
                                      options.Censor, nonSwitchStrings, recursedType, wildcardMatching,
                                      thereAreSwitchIncludes, codePage, parser.StopSwitchIndex);

    options.AssumeYes = parser[NKey::kYes].ThereIs;
    global_use_lstat = !parser[NKey::kUseLStat].ThereIs;

    options.PasswordGiven = parser[NKey::kPassword].ThereIs;
    if (options.PasswordGiven) options.Password = parser[NKey::kPassword].PostStrings[0];

    options.DialogMode = parser[NKey::kShowDialog].ThereIs;

    if (parser[NKey::kArchiveType].ThereIs) options.TypeText = parser[NKey::kArchiveType].PostStrings[0];

    if (parser[NKey::kExcludedArcType].ThereIs) options.SkippedTypes = parser[NKey::kExcludedArcType].PostStrings;

    SetMethodOptions(parser, options.Properties);

    if (parser[NKey::kNtSecurity].ThereIs) options.SecurityOpt.SetTrueTrue();
    SetBoolPair(parser, NKey::kAltStreams, options.AltStreamsOpt);
    SetBoolPair(parser, NKey::kHardLinks, options.HardLinksOpt);
    SetBoolPair(parser, NKey::kSymLinks, options.SymLinksOpt);

    if (isExtractGroupCommand || type == NCommandType::kList) {
        CExtractNtOptions &nt = options.ExtractSettings.NtOptions;
        nt.NtSecurity = options.SecurityOpt;
        nt.AltStreams = options.AltStreamsOpt;
        if (!options.AltStreamsOpt.Def) nt.AltStreams.Val = true;
        nt.HardLinks = options.HardLinksOpt;
        if (!options.HardLinksOpt.Def) nt.HardLinks.Val = true;
        nt.SymLinks = options.SymLinksOpt;
        if (!options.SymLinksOpt.Def) nt.SymLinks.Val = true;
        nt.ReplaceColonForAltStream = parser[NKey::kReplaceColonForAltStream].ThereIs;
        nt.WriteToAltStreamIfColon = parser[NKey::kWriteToAltStreamIfColon].ThereIs;

        options.Censor.AddPathsToCensor(NWildcard::k_AbsPath);
        options.Censor.ExtendExclude();
        // Item paths are tested against the first pair's tree only.
        if (!options.Censor.AllAreRelative())
            throw CArcCmdLineException("Cannot use absolute pathnames for this command");

        NWildcard::CCensor &arcCensor = options.ArchiveCensor;
        if (parser[NKey::kArInclude].ThereIs)
            AddSwitchWildcardsToCensor(arcCensor, parser[NKey::kArInclude].PostStrings, true,
                                       NRecursedType::kNonRecursive, wildcardMatching, codePage);
        if (parser[NKey::kArExclude].ThereIs)
            AddSwitchWildcardsToCensor(arcCensor, parser[NKey::kArExclude].PostStrings, false,
                                       NRecursedType::kNonRecursive, wildcardMatching, codePage);
        if (thereIsArchiveName)
            AddNameToCensor(arcCensor, options.ArchiveName, true, NRecursedType::kNonRecursive, wildcardMatching);
        arcCensor.AddPathsToCensor(NWildcard::k_RelatPath);
        arcCensor.ExtendExclude();

        if (options.ReadStdIn) options.StdInName = parser[NKey::kStdIn].PostStrings.Front();

        if (isExtractGroupCommand) {
            if (options.WriteStdOut) {
                if (options.PercentStreamNumber == 1) throw CArcCmdLineException(kSameTerminalError);
                if (options.StdOutIsTerminal && options.StdErrIsTerminal && options.PercentStreamNumber != 0)
                    throw CArcCmdLineException(kSameTerminalError);
            }

            if (parser[NKey::kOutputDir].ThereIs) {
                options.ExtractSettings.OutputDir = parser[NKey::kOutputDir].PostStrings[0];
                NName::NormalizeDirPathPrefix(options.ExtractSettings.OutputDir);
            }

            options.ExtractSettings.OverwriteMode = NExtract::NOverwriteMode::kAsk;
            if (parser[NKey::kOverwrite].ThereIs) {
                static const NExtract::NOverwriteMode::EEnum k_OverwriteModes[] = {
                    NExtract::NOverwriteMode::kOverwrite, NExtract::NOverwriteMode::kSkip,
                    NExtract::NOverwriteMode::kRename, NExtract::NOverwriteMode::kRenameExisting};
                options.ExtractSettings.OverwriteMode =
                    k_OverwriteModes[(unsigned)parser[NKey::kOverwrite].PostCharIndex];
                options.ExtractSettings.OverwriteMode_Force = true;
            } else if (options.AssumeYes) {
                options.ExtractSettings.OverwriteMode = NExtract::NOverwriteMode::kOverwrite;
                options.ExtractSettings.OverwriteMode_Force = true;
            }
        }

        options.ExtractSettings.PathMode = options.Command.GetPathMode();
        if (censorPathMode == NWildcard::k_AbsPath) {
            options.ExtractSettings.PathMode = NExtract::NPathMode::kAbsPaths;
            options.ExtractSettings.PathMode_Force = true;
        } else if (censorPathMode == NWildcard::k_FullPath) {
            options.ExtractSettings.PathMode = NExtract::NPathMode::kFullPaths;
            options.ExtractSettings.PathMode_Force = true;
        }
    } else if (options.Command.IsFromUpdateGroup()) {
        if (parser[NKey::kArInclude].ThereIs)
            throw CArcCmdLineException("-ai switch is not supported for this command");

        CUpdateOptions &updateOptions = options.UpdateSettings;

        SetAddCommandOptions(type, parser, updateOptions);

        updateOptions.Method.Props = options.Properties;
        updateOptions.OpenForWriteShare = parser[NKey::kShareForWrite].ThereIs;
        updateOptions.CensorPathMode = censorPathMode;

        updateOptions.KeepNtSecurity = options.SecurityOpt;
        updateOptions.KeepAltStreams = options.AltStreamsOpt;
        updateOptions.KeepHardLinks = options.HardLinksOpt;
        updateOptions.KeepSymLinks = options.SymLinksOpt;
        // Links are stored as links unless -l or -snl- asks for what they point to.
        if (options.SymLinksOpt.Def && !options.SymLinksOpt.Val) global_use_lstat = 0;

        updateOptions.MailMode = parser[NKey::kEmail].ThereIs;
        if (updateOptions.MailMode) {
            updateOptions.MailAddress = parser[NKey::kEmail].PostStrings.Front();
            if (!updateOptions.MailAddress.IsEmpty() && updateOptions.MailAddress[0] == L'.') {
                updateOptions.MailRemoveAfter = true;
                updateOptions.MailAddress.DeleteFrontal(1);
            }
        }

        updateOptions.ToStdOut = options.WriteStdOut;
        updateOptions.ReadStdIn = options.ReadStdIn;
        updateOptions.DeleteSourcesAfter = parser[NKey::kDeleteAfterCompressing].ThereIs;
        updateOptions.StampArchiveTime = parser[NKey::kSetArcMTime].ThereIs;

        if (updateOptions.ToStdOut) {
            if (updateOptions.MailMode) throw CArcCmdLineException("stdout mode and email mode cannot be combined");
            if (options.StdOutIsTerminal) throw CArcCmdLineException(kTerminalOutError);
            if (options.PercentStreamNumber == 1 || options.OutStreamNumber == 1 || options.ErrStreamNumber == 1)
                throw CArcCmdLineException(kSameTerminalError);
        }

        if (updateOptions.ReadStdIn) updateOptions.StdInItemName = parser[NKey::kStdIn].PostStrings.Front();

        if (isRename && updateOptions.Outputs.Size() != 1)
            throw CArcCmdLineException("Only one archive can be created with rename command");
    } else if (type == NCommandType::kBenchmark) {
        options.BenchPasses = 1;
        if (curCommandIndex < numNonSwitchStrings) {
            const UString &s = nonSwitchStrings[curCommandIndex];
            const wchar_t *end;
            const UInt32 v = ConvertStringToUInt32(s, &end);
            if (!IsDecimal(s) || *end != 0) throw CArcCmdLineException("Incorrect Number of benmchmark iterations", s);
            options.BenchPasses = v;
        }
    } else if (type == NCommandType::kHash) {
        options.Censor.AddPathsToCensor(censorPathMode);
        options.Censor.ExtendExclude();

        CHashOptions &hashOptions = options.HashSettings;
        hashOptions.PathMode = censorPathMode;
        hashOptions.Methods = options.HashNames;
        hashOptions.OpenShareForWrite = parser[NKey::kShareForWrite].ThereIs;
        hashOptions.StdInMode = options.ReadStdIn;
        hashOptions.AltStreamsMode = options.AltStreamsOpt.Val;
    }
}

void CArcCmdLineParser::Parse2(CArcCmdLineOptions &options) {
    try {
        Parse2Body(parser, options);
    } catch (const char *s) {
        // The censor's own texts ("Empty file path") become command-line errors too.
        throw CArcCmdLineException(s);
    }
}
