// Pairing of disk and archive names, the records the action sets produce, archive path parts and
// rename matching.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ui-common/ArchivePath.h"
#include "archive/ui-common/RenamePair.h"
#include "archive/ui-common/UpdateErrorInfo.h"
#include "archive/ui-common/UpdateProduce.h"
#include "common/Wildcard.h"
#include "windows/TimeUtils.h"

using namespace NUpdateArchive;

namespace {

const UInt64 kSec = 10000000; // FILETIME units per second
const UInt64 kBase = 13300000000ULL * kSec;

FILETIME Ft(UInt64 v) {
    FILETIME ft;
    NWindows::NTime::UInt64ToFileTime(v, ft);
    return ft;
}

struct CDisk {
    const wchar_t *Name;
    bool IsDir;
    UInt64 MTime;
    UInt64 Size;
    bool IsAltStream;
};

struct CArc {
    const wchar_t *Name;
    bool IsDir;
    UInt64 MTime; // 0: none
    UInt64 Size;
    bool Selected;
    Int32 TimeType;
    bool IsAltStream;
};

void FillDisk(CDirItems &dirItems, const std::vector<CDisk> &items) {
    for (const CDisk &d : items) {
        CDirItem di;
        di.Name = d.Name;
        di.Attrib = d.IsDir ? FILE_ATTRIBUTE_DIRECTORY : 0;
        di.MTime = Ft(d.MTime);
        di.Size = d.Size;
        di.IsAltStream = d.IsAltStream;
        dirItems.Items.Add(di);
    }
}

void FillArc(CObjectVector<CArcItem> &arcItems, const std::vector<CArc> &items) {
    for (unsigned i = 0; i < items.size(); i++) {
        const CArc &a = items[i];
        CArcItem ai;
        ai.Name = a.Name;
        ai.IsDir = a.IsDir;
        ai.HasMTime = a.MTime != 0;
        ai.MTime = Ft(a.MTime);
        ai.HasSize = true;
        ai.Size = a.Size;
        ai.Selected = a.Selected;
        ai.TimeType = a.TimeType;
        ai.IsAltStream = a.IsAltStream;
        ai.HandlerIndex = i;
        arcItems.Add(ai);
    }
}

// "state:disk:arc[:host]" per pair, for compact comparisons.
std::string Describe(const CRecordVector<CUpdatePair> &pairs) {
    std::string s;
    for (unsigned i = 0; i < pairs.Size(); i++) {
        const CUpdatePair &p = pairs[i];
        if (!s.empty()) s += ' ';
        s += std::to_string(p.State) + ":" + std::to_string(p.DiskIndex) + ":" + std::to_string(p.ArchiveIndex);
        if (p.HostPair >= 0) s += ":h" + std::to_string(p.HostPair);
    }
    return s;
}

std::string Pair(const std::vector<CDisk> &disk, const std::vector<CArc> &arc, Int32 timeType = 0) {
    CDirItems dirItems;
    CObjectVector<CArcItem> arcItems;
    FillDisk(dirItems, disk);
    FillArc(arcItems, arc);
    CRecordVector<CUpdatePair> pairs;
    GetUpdatePairInfoList(dirItems, arcItems, timeType, pairs);
    return Describe(pairs);
}

std::wstring ThrownText(const std::vector<CDisk> &disk, const std::vector<CArc> &arc) {
    try {
        Pair(disk, arc);
    } catch (const UString &s) {
        return std::wstring(s.Ptr());
    }
    return L"(nothing thrown)";
}

} // namespace

TEST(UpdatePairTest, EmptySidesGiveNoPairs) {
    EXPECT_EQ(Pair({}, {}), "");
}

TEST(UpdatePairTest, MergesInNameOrderWithStates) {
    const UInt64 t = kBase;
    // disk: b (new), c (newer than archive), d (older), e (same), f (same time, size differs), g (no arc time)
    const std::string r = Pair(
        {
            {L"g", false, t, 1, false},
            {L"b", false, t, 5, false},
            {L"c", false, t + kSec, 5, false},
            {L"d", false, t - kSec, 5, false},
            {L"e", false, t, 5, false},
            {L"f", false, t, 6, false},
        },
        {
            {L"a", false, t, 1, true, -1, false},
            {L"c", false, t, 5, true, -1, false},
            {L"d", false, t, 5, true, -1, false},
            {L"e", false, t, 5, true, -1, false},
            {L"f", false, t, 5, true, -1, false},
            {L"g", false, 0, 1, true, -1, false},
            {L"h", false, t, 1, false, -1, false},
        });
    EXPECT_EQ(r, "1:-1:0 2:1:-1 4:2:1 3:3:2 5:4:3 6:5:4 5:0:5 0:-1:6");
}

TEST(UpdatePairTest, FolderAndFileOfOneNameAreTwoPairsFolderFirst) {
    EXPECT_EQ(Pair({{L"a", false, kBase, 1, false}}, {{L"a", true, kBase, 0, true, -1, false}}), "1:-1:0 2:0:-1");
    EXPECT_EQ(Pair({{L"a", true, kBase, 0, false}}, {{L"a", false, kBase, 1, true, -1, false}}), "2:0:-1 1:-1:0");
}

TEST(UpdatePairTest, TimePrecisionDecidesWhatCountsAsEqual) {
    const UInt64 t = kBase + 2 * kSec; // an even second
    const std::vector<CDisk> disk = {{L"a", false, t + kSec / 2, 7, false}};
    const std::vector<CArc> arc = {{L"a", false, t, 7, true, -1, false}};
    EXPECT_EQ(Pair(disk, arc, 0), "4:0:0");
    EXPECT_EQ(Pair(disk, arc, 1), "5:0:0");
    EXPECT_EQ(Pair(disk, arc, 2), "4:0:0"); // DOS time rounds up to the next even second
    // The item's own time type wins over the writer's.
    EXPECT_EQ(Pair(disk, {{L"a", false, t, 7, true, 1, false}}, 0), "5:0:0");
    EXPECT_THROW(Pair(disk, arc, 3), int);
}

TEST(UpdatePairTest, DuplicateNamesThrowWithBothNames) {
    EXPECT_EQ(ThrownText({{L"x/a", false, kBase, 1, false}, {L"x/a", false, kBase, 1, false}}, {}),
              L"Duplicate filename on disk:\nx/a\nx/a");
    // Duplicates inside the archive matter only when a disk item of that name meets them.
    EXPECT_EQ(Pair({}, {{L"a", false, kBase, 1, true, -1, false}, {L"a", false, kBase, 1, true, -1, false}}),
              "1:-1:0 1:-1:1");
    EXPECT_EQ(ThrownText({{L"a", false, kBase, 1, false}}, {{L"a", false, kBase, 1, true, -1, false},
                                                            {L"A2", false, kBase, 1, true, -1, false},
                                                            {L"a", false, kBase, 1, true, -1, false}}),
              L"Duplicate filename in archive:\na\na");
    EXPECT_EQ(ThrownText({{L"a", false, kBase, 1, false}}, {{L"a", false, kBase, 1, false, -1, false}}),
              L"Internal file name collision (file on disk, file in archive):\na\na");
}

TEST(UpdatePairTest, AlternateStreamsPointAtTheirHostPair) {
    const std::string r = Pair({{L"f", false, kBase, 1, false}, {L"f:s", false, kBase, 1, true}},
                               {{L"f:t", false, kBase, 1, true, -1, true}, {L"g:s", false, kBase, 1, true, -1, true}});
    EXPECT_EQ(r, "2:0:-1 2:1:-1:h0 1:-1:0:h0 1:-1:1");
}

TEST(UpdatePairTest, NamesCompareByTheCaseRule) {
    const bool saved = g_CaseSensitive;
    g_CaseSensitive = false;
    EXPECT_EQ(Pair({{L"README", false, kBase, 1, false}}, {{L"readme", false, kBase, 1, true, -1, false}}), "5:0:0");
    g_CaseSensitive = true;
    EXPECT_EQ(Pair({{L"README", false, kBase, 1, false}}, {{L"readme", false, kBase, 1, true, -1, false}}),
              "2:0:-1 1:-1:0");
    g_CaseSensitive = saved;
}

namespace {

struct CRecordingProduce : public IUpdateProduceCallback {
    std::vector<unsigned> Deleted;
    HRESULT ShowDeleteFile(unsigned arcIndex) override {
        Deleted.push_back(arcIndex);
        return S_OK;
    }
};

// One pair in every state, as the pairing makes them.
CRecordVector<CUpdatePair> AllStates() {
    CRecordVector<CUpdatePair> pairs;
    for (int s = 0; s < 7; s++) {
        CUpdatePair p;
        p.State = s;
        if (s != kPairDiskOnly) p.ArchiveIndex = 10 + s;
        if (s >= kPairDiskOnly) p.DiskIndex = 20 + s;
        pairs.Add(p);
    }
    return pairs;
}

// "n" new data, "c" copy, "a" anti per record, with its state's digit.
std::string Produce(const CRecordVector<CUpdatePair> &pairs, const CActionSet &set, CRecordingProduce *cb) {
    CRecordVector<CUpdatePair2> recs;
    UpdateProduce(pairs, set, recs, cb);
    std::string s;
    for (unsigned i = 0; i < recs.Size(); i++) {
        const CUpdatePair2 &r = recs[i];
        const int state = r.ArchiveIndex >= 0 ? r.ArchiveIndex - 10 : r.DiskIndex - 20;
        s += std::to_string(state);
        s += r.Anti ? 'a' : (r.HasNewData ? 'n' : 'c');
        EXPECT_EQ(r.HasNewProps, r.HasNewData);
        EXPECT_EQ(r.KeepArcProps, r.Anti ? r.ArchiveIndex >= 0 : !r.HasNewData);
        EXPECT_EQ(r.RenameIndex, -1);
    }
    return s;
}

} // namespace

TEST(UpdateProduceTest, ConstantSetsGiveTheirRecords) {
    struct {
        const CActionSet *Set;
        const char *Records;
        std::vector<unsigned> Deleted;
    } cases[] = {
        {&k_ActionSet_Add, "0c1c2n3n4n5n6n", {}},          {&k_ActionSet_Update, "0c1c2n3c4n5c6n", {}},
        {&k_ActionSet_Fresh, "0c1c3c4n5c6n", {}},          {&k_ActionSet_Sync, "0c2n3c4n5c6n", {11}},
        {&k_ActionSet_Delete, "0c", {11, 13, 14, 15, 16}},
    };
    for (const auto &c : cases) {
        CRecordingProduce cb;
        EXPECT_EQ(Produce(AllStates(), *c.Set, &cb), c.Records);
        EXPECT_EQ(cb.Deleted, c.Deleted);
    }
    EXPECT_EQ(Produce(AllStates(), k_ActionSet_Delete, nullptr), "0c");
}

TEST(UpdateProduceTest, AntiItemsAndMisfitActions) {
    CActionSet anti = k_ActionSet_Add;
    anti.StateActions[kPairArchiveOnly] = kActionAnti;
    EXPECT_EQ(Produce(AllStates(), anti, nullptr), "0c1a2n3n4n5n6n");

    CActionSet bad = k_ActionSet_Add;
    bad.StateActions[kPairDiskOnly] = kActionCopy;
    EXPECT_THROW(Produce(AllStates(), bad, nullptr), const char *);
    bad = k_ActionSet_Add;
    bad.StateActions[kPairArchiveOnly] = kActionCompress;
    EXPECT_THROW(Produce(AllStates(), bad, nullptr), const char *);
}

TEST(UpdateProduceTest, OldStreamOfAHostTakenFromDiskIsDropped) {
    CRecordVector<CUpdatePair> pairs;
    CUpdatePair host;
    host.State = kPairDiskNewer;
    host.ArchiveIndex = 14;
    host.DiskIndex = 24;
    pairs.Add(host);
    CUpdatePair stream;
    stream.State = kPairArchiveOnly;
    stream.ArchiveIndex = 11;
    stream.HostPair = 0;
    pairs.Add(stream);
    EXPECT_EQ(Produce(pairs, k_ActionSet_Add, nullptr), "4n");
    pairs[0].DiskIndex = -1; // host only in the archive: the stream stays
    pairs[0].State = kPairArchiveOnly;
    EXPECT_EQ(Produce(pairs, k_ActionSet_Add, nullptr), "4c1c");
}

TEST(UpdateActionTest, ScanningIsNeededUnlessOnlyOldItemsMatter) {
    EXPECT_TRUE(k_ActionSet_Add.NeedScanning());
    EXPECT_TRUE(k_ActionSet_Sync.NeedScanning());
    EXPECT_FALSE(k_ActionSet_Delete.NeedScanning());
}

TEST(ArchivePathTest, ParsesByNameMode) {
    struct {
        const wchar_t *Path;
        EArcNameMode Mode;
        const wchar_t *Final;
        const wchar_t *Vol;
        const wchar_t *Temp;
    } cases[] = {
        {L"/d/report", kArcNameSmart, L"/d/report.7z", L"/d/report.7z", L"/t/report.7z.tmp"},
        {L"/d/report.xyz", kArcNameSmart, L"/d/report.xyz", L"/d/report.xyz", L"/t/report.xyz.tmp"},
        {L"/d/report.7Z", kArcNameSmart, L"/d/report.7Z", L"/d/report.7z", L"/t/report.7Z.tmp"},
        {L"/d/report.", kArcNameSmart, L"/d/report", L"/d/report", L"/t/report.tmp"},
        {L"report", kArcNameExact, L"report", L"report", L"/t/report.tmp"},
        {L"/d/a.7z", kArcNameAdd, L"/d/a.7z.7z", L"/d/a.7z.7z", L"/t/a.7z.7z.tmp"},
    };
    for (const auto &c : cases) {
        CArchivePath ap;
        ap.MainExt = L"7z";
        ap.VolumeExt = L"7z";
        ap.ParseFromPath(c.Path, c.Mode);
        ap.TempFolder = L"/t/";
        EXPECT_STREQ(ap.GetFinalPath().Ptr(), c.Final) << c.Path;
        EXPECT_STREQ(ap.GetFinalVolPath().Ptr(), c.Vol) << c.Path;
        EXPECT_STREQ(ap.GetTempPath().Ptr(), c.Temp) << c.Path;
    }
    CArchivePath ap;
    ap.MainExt = L"7z";
    ap.ParseFromPath(L"/d/a.7z", kArcNameSmart);
    EXPECT_STREQ(ap.Folder.Ptr(), L"/d/");
    EXPECT_STREQ(ap.BaseName.Ptr(), L"a");
    ap.TempSuffix = L"3";
    EXPECT_STREQ(ap.GetTempPath().Ptr(), L"a.7z.tmp3");
}

TEST(RenamePairTest, MatchesThePathAndWhatLiesUnderIt) {
    const bool saved = g_CaseSensitive;
    g_CaseSensitive = false;
    CRenamePair p;
    p.FromPath = L"dir";
    p.ToPath = L"new";
    struct {
        bool IsFolder;
        const wchar_t *Src;
        const wchar_t *Dest; // null: no match
    } cases[] = {
        {true, L"dir", L"new"},      {false, L"dir/a.txt", L"new/a.txt"},
        {false, L"DIR/b", L"new/b"}, {false, L"directory", nullptr},
        {false, L"di", nullptr},     {false, L"x/dir", nullptr},
    };
    for (const auto &c : cases) {
        UString dest;
        const bool ok = p.GetNewPath(c.IsFolder, c.Src, dest);
        EXPECT_EQ(ok, c.Dest != nullptr) << c.Src;
        if (ok && c.Dest) {
            EXPECT_STREQ(dest.Ptr(), c.Dest) << c.Src;
        }
    }
    CRenamePair slash;
    slash.FromPath = L"dir/";
    slash.ToPath = L"new/";
    UString dest;
    EXPECT_TRUE(slash.GetNewPath(true, L"dir", dest));
    EXPECT_FALSE(slash.GetNewPath(false, L"dir", dest));
    EXPECT_TRUE(slash.GetNewPath(false, L"dir/x", dest));
    EXPECT_STREQ(dest.Ptr(), L"new/x");
    g_CaseSensitive = true;
    EXPECT_FALSE(p.GetNewPath(false, L"DIR/b", dest));
    g_CaseSensitive = saved;

    p.Recursion = NRecursedType::kNonRecursive;
    EXPECT_TRUE(p.Prepare());
    p.MatchWildcards = true;
    p.FromPath = L"d*";
    EXPECT_FALSE(p.Prepare());
    p.Recursion = NRecursedType::kRecursive;
    p.FromPath = L"d";
    EXPECT_FALSE(p.Prepare());
}

TEST(UpdateErrorInfoTest, ResultCodeFromTheErrorNumber) {
    CUpdateErrorInfo e;
    EXPECT_EQ(e.Get_HRESULT_Error(), E_FAIL);
    errno = 17;
    EXPECT_EQ(e.SetFromLastError("The file already exists", L"/x"), (HRESULT)0x80070011);
    EXPECT_EQ(e.Text, AString("The file already exists"));
    ASSERT_EQ(e.Paths.Size(), 1u);
    e.ErrorNumber = (DWORD)E_NOTIMPL;
    EXPECT_EQ(e.Get_HRESULT_Error(), E_NOTIMPL);
}
