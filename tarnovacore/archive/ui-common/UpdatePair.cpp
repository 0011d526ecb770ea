#include "UpdatePair.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>
#include <wchar.h>

#include "UpdateProduce.h"
#include "common/Wildcard.h"
#include "windows/TimeUtils.h"

using namespace NUpdateArchive;

static int MyCompareTime(Int32 fileTimeType, const FILETIME &time1, const FILETIME &time2) {
    switch (fileTimeType) {
    case 0:
        return ::CompareFileTime(&time1, &time2);
    case 1: {
        UInt32 u1 = 0, u2 = 0;
        NWindows::NTime::FileTimeToUnixTime(time1, u1);
        NWindows::NTime::FileTimeToUnixTime(time2, u2);
        return u1 < u2 ? -1 : (u1 > u2 ? 1 : 0);
    }
    case 2: {
        UInt32 d1 = 0, d2 = 0;
        NWindows::NTime::FileTimeToDosTime(time1, d1);
        NWindows::NTime::FileTimeToDosTime(time2, d2);
        return d1 < d2 ? -1 : (d1 > d2 ? 1 : 0);
    }
    }
    throw 4191618;
}

static const char *const k_Duplicate_inArc_Message = "Duplicate filename in archive:";
static const char *const k_Duplicate_inDir_Message = "Duplicate filename on disk:";
static const char *const k_NotCensoredCollision_Message =
    "Internal file name collision (file on disk, file in archive):";

[[noreturn]] static void ThrowError(const char *message, const UString &s1, const UString &s2) {
    UString m;
    m.SetFromAscii(message);
    m.Add_LF();
    m += s1;
    m.Add_LF();
    m += s2;
    throw m;
}

static int CompareArcItemsBase(const CArcItem &ai1, const CArcItem &ai2) {
    const int res = CompareFileNames(ai1.Name, ai2.Name);
    if (res != 0) return res;
    if (ai1.IsDir != ai2.IsDir) return ai1.IsDir ? -1 : 1;
    return 0;
}

static int CompareArcItems(const unsigned *p1, const unsigned *p2, void *param) {
    const unsigned i1 = *p1;
    const unsigned i2 = *p2;
    const CObjectVector<CArcItem> &arcItems = *(const CObjectVector<CArcItem> *)param;
    const int res = CompareArcItemsBase(arcItems[i1], arcItems[i2]);
    if (res != 0) return res;
    return i1 < i2 ? -1 : (i1 > i2 ? 1 : 0);
}

void CDirItemNames::Fill(const CDirItems &dirItems) {
    const unsigned num = dirItems.Items.Size();
    Names.resize(num);
    Lens.resize(num);
    // Sized first: a growing buffer would copy the names again and again.
    size_t total = 0;
    for (unsigned i = 0; i < num; i++) {
        Lens[i] = dirItems.GetLogPathLen(i);
        total += Lens[i] + 1;
    }
    Pool.resize(total);
    wchar_t *p = Pool.data();
    for (unsigned i = 0; i < num; i++) {
        Names[i] = p;
        p += dirItems.WriteLogPath(i, p);
        *p++ = 0;
    }
}

void GetUpdatePairInfoList(const CDirItems &dirItems, const CObjectVector<CArcItem> &arcItems, Int32 fileTimeType,
                           CRecordVector<CUpdatePair> &updatePairs, const CDirItemNames *names) {
    CUIntVector dirIndices, arcIndices;
    const unsigned numDirItems = dirItems.Items.Size();
    const unsigned numArcItems = arcItems.Size();

    CIntVector duplicatedArcItem;
    {
        arcIndices.ClearAndSetSize(numArcItems);
        if (numArcItems != 0) {
            unsigned *vals = &arcIndices[0];
            for (unsigned i = 0; i < numArcItems; i++)
                vals[i] = i;
            duplicatedArcItem.ClearAndSetSize(numArcItems);
            for (unsigned i = 0; i < numArcItems; i++)
                duplicatedArcItem[i] = 0;
        }
        arcIndices.Sort(CompareArcItems, (void *)&arcItems);
        for (unsigned i = 0; i + 1 < numArcItems; i++)
            if (CompareArcItemsBase(arcItems[arcIndices[i]], arcItems[arcIndices[i + 1]]) == 0) {
                duplicatedArcItem[i] = 1;
                duplicatedArcItem[i + 1] = -1;
            }
    }

    CDirItemNames ownNames;
    if (!names) {
        ownNames.Fill(dirItems);
        names = &ownNames;
    }
    const std::vector<const wchar_t *> &dirNames = names->Names;
    {
        dirIndices.ClearAndSetSize(numDirItems);
        for (unsigned i = 0; i < numDirItems; i++)
            dirIndices[i] = i;
        if (numDirItems != 0) {
            unsigned *first = &dirIndices[0];
            // Ties in scan order, so that a duplicate is named the same way from run to run.
            if (g_CaseSensitive) {
                // The same order as CompareFileNames, without two calls around each comparison.
                std::sort(first, first + numDirItems, [&](unsigned a, unsigned b) {
                    const int res = wcscmp(dirNames[a], dirNames[b]);
                    return res != 0 ? res < 0 : a < b;
                });
            } else {
                std::sort(first, first + numDirItems, [&](unsigned a, unsigned b) {
                    const int res = CompareFileNames(dirNames[a], dirNames[b]);
                    return res != 0 ? res < 0 : a < b;
                });
            }
        }
        for (unsigned i = 0; i + 1 < numDirItems; i++) {
            const wchar_t *s1 = dirNames[dirIndices[i]];
            const wchar_t *s2 = dirNames[dirIndices[i + 1]];
            // The inputs' own paths tell the user which two they are; the stored names are the same.
            if (CompareFileNames(s1, s2) == 0)
                ThrowError(k_Duplicate_inDir_Message, dirItems.GetPhyPath(dirIndices[i]),
                           dirItems.GetPhyPath(dirIndices[i + 1]));
        }
    }

    unsigned dirIndex = 0;
    unsigned arcIndex = 0;
    int prevHostFile = -1;
    const wchar_t *prevHostName = nullptr;

    while (dirIndex < numDirItems || arcIndex < numArcItems) {
        CUpdatePair pair;
        int dirIndex2 = -1;
        int arcIndex2 = -1;
        const CDirItem *di = nullptr;
        const CArcItem *ai = nullptr;
        int compareResult = -1;
        const wchar_t *name = nullptr;

        if (dirIndex < numDirItems) {
            dirIndex2 = (int)dirIndices[dirIndex];
            di = &dirItems.Items[(unsigned)dirIndex2];
        }
        if (arcIndex < numArcItems) {
            arcIndex2 = (int)arcIndices[arcIndex];
            ai = &arcItems[(unsigned)arcIndex2];
            compareResult = 1;
            if (dirIndex < numDirItems) {
                compareResult = CompareFileNames(dirNames[(unsigned)dirIndex2], ai->Name);
                // Equal names of different kinds: the folder goes first.
                if (compareResult == 0 && di->IsDir() != ai->IsDir) compareResult = ai->IsDir ? 1 : -1;
            }
        }

        if (compareResult < 0) {
            name = dirNames[(unsigned)dirIndex2];
            pair.State = kPairDiskOnly;
            pair.DiskIndex = dirIndex2;
            dirIndex++;
        } else if (compareResult > 0) {
            name = ai->Name;
            pair.State = ai->Selected ? kPairArchiveOnly : kPairNotSelected;
            pair.ArchiveIndex = arcIndex2;
            arcIndex++;
        } else {
            const int dupl = duplicatedArcItem[arcIndex];
            if (dupl != 0)
                ThrowError(k_Duplicate_inArc_Message, ai->Name,
                           arcItems[arcIndices[(unsigned)((int)arcIndex + dupl)]].Name);
            name = dirNames[(unsigned)dirIndex2];
            if (!ai->Selected) ThrowError(k_NotCensoredCollision_Message, UString(name), ai->Name);

            pair.DiskIndex = dirIndex2;
            pair.ArchiveIndex = arcIndex2;
            int timeRes = 0;
            if (ai->HasMTime) {
                const Int32 tt = ai->TimeType >= 0 ? ai->TimeType : fileTimeType;
                timeRes = MyCompareTime(tt, di->MTime, ai->MTime);
            }
            if (timeRes < 0)
                pair.State = kPairArchiveNewer;
            else if (timeRes > 0)
                pair.State = kPairDiskNewer;
            else
                pair.State = (ai->HasSize && di->Size == ai->Size) ? kPairSame : kPairUndecided;
            dirIndex++;
            arcIndex++;
        }

        if ((di && di->IsAltStream && pair.DiskIndex >= 0) || (ai && ai->IsAltStream && pair.ArchiveIndex >= 0)) {
            if (prevHostName) {
                const size_t hostLen = wcslen(prevHostName);
                if (wcslen(name) > hostLen && name[hostLen] == ':') {
                    UString temp;
                    temp.SetFrom(name, (unsigned)hostLen);
                    if (CompareFileNames(prevHostName, temp) == 0) pair.HostPair = prevHostFile;
                }
            }
        } else {
            prevHostFile = (int)updatePairs.Size();
            prevHostName = name;
        }

        updatePairs.Add(pair);
    }
}

static const char *const k_StoredNameClash_Message =
    "Two items would be stored under one name, and only one of them could be extracted:";

// Finds and reports the clash exactly; run only where the quick look below saw one that may be.
static void ThrowStoredNameClash(const CRecordVector<CUpdatePair2> &records, const CDirItems &dirItems,
                                 const CObjectVector<CArcItem> &arcItems) {
    struct CStored {
        std::wstring Key; // the name without a final '/', upper case where case does not count
        bool IsDir;
        bool FromDisk;
        unsigned Record;
    };
    std::vector<CStored> stored;
    stored.reserve(records.Size());
    for (unsigned i = 0; i < records.Size(); i++) {
        const CUpdatePair2 &r = records[i];
        if (r.Anti) continue;
        CStored s;
        s.FromDisk = r.DiskIndex >= 0;
        if (s.FromDisk) {
            s.Key = dirItems.GetLogPath((unsigned)r.DiskIndex).Ptr();
            s.IsDir = dirItems.Items[(unsigned)r.DiskIndex].IsDir();
        } else if (r.ArchiveIndex >= 0) {
            s.Key = arcItems[(unsigned)r.ArchiveIndex].Name.Ptr();
            s.IsDir = arcItems[(unsigned)r.ArchiveIndex].IsDir;
        } else
            continue;
        while (s.Key.size() > 1 && s.Key.back() == L'/')
            s.Key.pop_back();
        if (!g_CaseSensitive)
            for (wchar_t &c : s.Key)
                c = MyCharUpper(c);
        s.Record = i;
        stored.push_back(std::move(s));
    }
    const auto shownName = [&](const CStored &s) {
        const CUpdatePair2 &r = records[s.Record];
        return s.FromDisk ? dirItems.GetPhyPath((unsigned)r.DiskIndex) : arcItems[(unsigned)r.ArchiveIndex].Name;
    };
    // A file and a folder of one name. Two items of one kind are the pairing's to find: an archive
    // may hold such twins already, and they stay as they are unless an input meets them.
    std::map<std::wstring, unsigned> files;
    std::map<std::wstring, unsigned> folders;
    for (unsigned i = 0; i < stored.size(); i++)
        (stored[i].IsDir ? folders : files).emplace(stored[i].Key, i);
    for (const auto &f : files) {
        const auto d = folders.find(f.first);
        if (d == folders.end()) continue;
        const CStored &a = stored[f.second];
        const CStored &b = stored[d->second];
        if (a.FromDisk || b.FromDisk) ThrowError(k_StoredNameClash_Message, shownName(a), shownName(b));
    }
    // An item below a file.
    for (const CStored &s : stored) {
        for (size_t k = s.Key.find(L'/'); k != std::wstring::npos; k = s.Key.find(L'/', k + 1)) {
            const auto f = files.find(s.Key.substr(0, k));
            if (f == files.end()) continue;
            const CStored &file = stored[f->second];
            if (file.FromDisk || s.FromDisk) ThrowError(k_StoredNameClash_Message, shownName(file), shownName(s));
        }
    }
}

// The stored names as sorted keys in one buffer: large inputs are checked without an allocation or
// a tree node per name. Only a possible clash is looked at again, by the exact check above.
void CheckStoredNames(const CRecordVector<CUpdatePair2> &records, const CDirItems &dirItems,
                      const CObjectVector<CArcItem> &arcItems, const CDirItemNames *names) {
    CDirItemNames ownNames;
    if (!names) {
        ownNames.Fill(dirItems);
        names = &ownNames;
    }
    struct CKey {
        const wchar_t *Ptr;
        size_t Len;
        bool IsDir;
    };
    // The keys point at the names where they are; only where case does not count are they copied
    // to be made upper case.
    std::vector<CKey> keys;
    keys.reserve(records.Size());
    size_t total = 0;
    for (unsigned i = 0; i < records.Size(); i++) {
        const CUpdatePair2 &r = records[i];
        if (r.Anti) continue;
        CKey k;
        if (r.DiskIndex >= 0) {
            k.Ptr = names->Names[(unsigned)r.DiskIndex];
            k.Len = names->Lens[(unsigned)r.DiskIndex];
            k.IsDir = dirItems.Items[(unsigned)r.DiskIndex].IsDir();
        } else if (r.ArchiveIndex >= 0) {
            const CArcItem &ai = arcItems[(unsigned)r.ArchiveIndex];
            k.Ptr = ai.Name.Ptr();
            k.Len = ai.Name.Len();
            k.IsDir = ai.IsDir;
        } else
            continue;
        while (k.Len > 1 && k.Ptr[k.Len - 1] == L'/')
            k.Len--;
        total += k.Len;
        keys.push_back(k);
    }
    std::vector<wchar_t> upper;
    if (!g_CaseSensitive) {
        upper.resize(total);
        wchar_t *p = upper.data();
        for (CKey &k : keys) {
            for (size_t j = 0; j < k.Len; j++)
                p[j] = MyCharUpper(k.Ptr[j]);
            k.Ptr = p;
            p += k.Len;
        }
    }
    const auto view = [](const CKey &k) { return std::wstring_view(k.Ptr, k.Len); };
    const auto less = [&](const CKey &a, const CKey &b) { return view(a) < view(b); };
    // The records come in name order already, most of the time.
    if (!std::is_sorted(keys.begin(), keys.end(), less)) std::sort(keys.begin(), keys.end(), less);

    bool suspect = false;
    // A file and a folder of one name: equal keys are neighbours.
    for (size_t i = 0; !suspect && i + 1 < keys.size(); i++)
        suspect = keys[i].IsDir != keys[i + 1].IsDir && view(keys[i]) == view(keys[i + 1]);
    // An item below a file: the names that begin with "file/" are one run of the sorted keys.
    std::wstring probe;
    for (size_t i = 0; !suspect && i < keys.size(); i++) {
        if (keys[i].IsDir) continue;
        probe.assign(view(keys[i]));
        probe += L'/';
        // Mostly the next name already sorts after the probe, and the search ends there.
        auto below = keys.begin() + (std::ptrdiff_t)i + 1;
        if (below != keys.end() && view(*below) < std::wstring_view(probe))
            below = std::lower_bound(below, keys.end(), std::wstring_view(probe),
                                     [&](const CKey &k, std::wstring_view p) { return view(k) < p; });
        suspect = below != keys.end() && view(*below).substr(0, probe.size()) == probe;
    }
    if (suspect) ThrowStoredNameClash(records, dirItems, arcItems);
}
