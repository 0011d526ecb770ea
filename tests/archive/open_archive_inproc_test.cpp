// Cases that the real plug-in cannot produce, with small handlers of the test's own: parent links in
// a loop, archives nested deeper than the chain goes, signatures away from the archive start, and
// records that a handler places behind the scan position. The test formats are built into this
// program; its registry loads no plug-in library.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/common/BufInStream.h"
#include "archive/common/LimitedStreams.h"
#include "archive/common/RegisterArc.h"
#include "archive/common/StreamUtils.h"
#include "archive/ui-common/ArchiveLink.h"
#include "archive/ui-common/ParserHandler.h"
#include "windows/PropVariant.h"
#include "test_support.h"

using NWindows::NCOM::CPropVariant;
using testsupport::Bracketed;
using testsupport::TempFolder;
using testsupport::W;

namespace {

HRESULT ReadAll(IInStream *stream, std::string &data) {
    RINOK(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    data.clear();
    char buf[4096];
    for (;;) {
        UInt32 n = 0;
        RINOK(stream->Read(buf, sizeof(buf), &n));
        if (n == 0) return S_OK;
        data.append(buf, n);
    }
}

// Shared plumbing of the test handlers: one stream, a few items, no extraction.
class CTestHandlerBase : public IInArchive, public IInArchiveGetStream, public CMyUnknownImp {
protected:
    CMyComPtr<IInStream> _stream;
    std::string _data;
    UInt64 _phySize = 0;
    Int64 _offset = 0;
    bool _offsetDefined = false;

public:
    COM_UNKNOWN_IMP(IInArchive, IInArchiveGetStream)
    HRESULT Close() override {
        _stream.Release();
        return S_OK;
    }
    HRESULT GetNumberOfItems(UInt32 *n) override {
        *n = 1;
        return S_OK;
    }
    HRESULT GetProperty(UInt32, PROPID propID, PROPVARIANT *value) override {
        CPropVariant prop;
        if (propID == kpidSize) prop = (UInt64)_data.size();
        prop.Detach(value);
        return S_OK;
    }
    HRESULT Extract(const UInt32 *, UInt32, Int32, IArchiveExtractCallback *) override { return S_OK; }
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override {
        CPropVariant prop;
        if (propID == kpidPhySize) prop = _phySize;
        if (propID == kpidOffset && _offsetDefined) prop = _offset;
        if (propID == kpidErrorFlags && !_stream) prop = (UInt32)kpv_ErrorFlags_IsNotArc;
        prop.Detach(value);
        return S_OK;
    }
    HRESULT GetNumberOfProperties(UInt32 *n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetPropertyInfo(UInt32, BSTR *, PROPID *, VARTYPE *) override { return E_INVALIDARG; }
    HRESULT GetNumberOfArchiveProperties(UInt32 *n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetArchivePropertyInfo(UInt32, BSTR *, PROPID *, VARTYPE *) override { return E_INVALIDARG; }
    HRESULT GetStream(UInt32, ISequentialInStream **stream) override {
        *stream = nullptr;
        return S_FALSE;
    }
};

// "NEST" followed by the data of its one item, which is the main sub-file.
class CNestHandler : public CTestHandlerBase {
public:
    HRESULT Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *) override {
        Close();
        std::string all;
        RINOK(ReadAll(stream, all));
        if (all.compare(0, 4, "NEST") != 0) return S_FALSE;
        _stream = stream;
        _data = all.substr(4);
        _phySize = all.size();
        return S_OK;
    }
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override {
        if (propID == kpidMainSubfile && _stream) {
            CPropVariant prop;
            prop = (UInt32)0;
            prop.Detach(value);
            return S_OK;
        }
        return CTestHandlerBase::GetArchiveProperty(propID, value);
    }
    HRESULT GetStream(UInt32, ISequentialInStream **stream) override {
        return CreateLimitedInStream(_stream, 4, _data.size(), stream);
    }
};

// An archive of 16 bytes whose signature "OFS" sits at offset 2 of the archive.
class COffsetSigHandler : public CTestHandlerBase {
public:
    HRESULT Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *) override {
        Close();
        std::string all;
        RINOK(ReadAll(stream, all));
        if (all.size() < 16 || all.compare(2, 3, "OFS") != 0) return S_FALSE;
        _stream = stream;
        _data = all.substr(4, 12);
        _phySize = 16;
        return S_OK;
    }
};

// Sees the whole file and claims an archive of one byte at its very start, wherever "BKD" was found.
class CBehindHandler : public CTestHandlerBase {
public:
    HRESULT Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *) override {
        Close();
        UInt64 pos = 0;
        RINOK(stream->Seek(0, STREAM_SEEK_CUR, &pos));
        char sig[3] = {0, 0, 0};
        size_t n = 3;
        RINOK(ReadStream(stream, sig, &n));
        if (n != 3 || sig[0] != 'B' || sig[1] != 'K' || sig[2] != 'D') return S_FALSE;
        _stream = stream;
        _phySize = 1;
        _offset = 0;
        _offsetDefined = true;
        return S_OK;
    }
};

IInArchive *CreateNest() {
    return new CNestHandler;
}
IInArchive *CreateOffsetSig() {
    return new COffsetSigHandler;
}
IInArchive *CreateBehind() {
    return new CBehindHandler;
}

const Byte kNestSig[] = {'N', 'E', 'S', 'T'};
const Byte kOffsetSig[] = {'O', 'F', 'S'};
const Byte kBehindSig[] = {'B', 'K', 'D'};

const CArcInfo kNestInfo = {0, 0xF1, 4, kNestSig, 0, "nest", "nest", "", CreateNest, nullptr, nullptr};
const CArcInfo kOffsetInfo = {0, 0xF2, 3, kOffsetSig, 2, "offsig", "ofs", "", CreateOffsetSig, nullptr, nullptr};
const CArcInfo kBehindInfo = {
    NArcInfoFlags::kUseGlobalOffset, 0xF3, 3, kBehindSig, 0, "behind", "bhd", "", CreateBehind, nullptr, nullptr};

const struct CRegistrar {
    CRegistrar() {
        RegisterArc(&kNestInfo);
        RegisterArc(&kOffsetInfo);
        RegisterArc(&kBehindInfo);
    }
} g_registrar;

class BuiltInFormatsTest : public ::testing::Test {
protected:
    TempFolder dir;
    CMyComPtr<ICompressCodecsInfo> codecsRef;
    CCodecs *codecs = nullptr;

    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        // An empty plug-in folder: only the formats built into this test program.
        setenv("TARNOVA_HOME_DIR", (dir.Path() + "/").c_str(), 1);
        codecs = new CCodecs;
        codecsRef = codecs;
        ASSERT_EQ(codecs->Load(), S_OK);
        ASSERT_EQ(codecs->Formats.Size(), 3u);
    }

    HRESULT OpenLink(CArchiveLink &link, const std::string &name, const wchar_t *types = nullptr) {
        CObjectVector<COpenType> typeList;
        if (types) {
            EXPECT_TRUE(ParseOpenTypes(*codecs, types, typeList));
        }
        CIntVector excluded;
        COpenOptions op;
        op.registry = codecs;
        op.requestedTypes = &typeList;
        op.excludedFormatIndices = &excluded;
        op.filePath = W(dir / name);
        return link.Open2(op, nullptr);
    }
};

TEST_F(BuiltInFormatsTest, NestingStopsAtThirtyTwoLevels) {
    std::string data;
    for (int i = 0; i < 33; i++)
        data += "NEST";
    data += "payload";
    ASSERT_TRUE(testsupport::WriteFile(dir / "deep.nest", data));
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, "deep.nest"), S_OK);
    EXPECT_EQ(link.levels.Size(), 32u);
    EXPECT_STREQ(link.levels[1].arcPath.Ptr(), L"deep");
    EXPECT_EQ(link.levels[31].itemIndexInParent, 0);

    // One level less is opened whole, down to the payload that is no archive.
    ASSERT_TRUE(testsupport::WriteFile(dir / "shallow.nest", data.substr(4 * 2)));
    CArchiveLink shallow;
    ASSERT_EQ(OpenLink(shallow, "shallow.nest"), S_OK);
    EXPECT_EQ(shallow.levels.Size(), 31u);
}

TEST_F(BuiltInFormatsTest, SignatureAwayFromTheArchiveStartIsFoundInTheScan) {
    std::string data(100, '.');
    data += "zzOFS123456789ab";
    data += std::string(30, '.');
    ASSERT_TRUE(testsupport::WriteFile(dir / "x.bin", data));
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, "x.bin"), S_OK);
    ASSERT_EQ(link.levels.Size(), 1u);
    EXPECT_STREQ(codecs->Formats[(unsigned)link.levels[0].formatIndex].Name.Ptr(), L"offsig");
    EXPECT_EQ(link.levels[0].GetGlobalOffset(), 100u);
    EXPECT_TRUE(link.levels[0].openErrors.hasTail);
    EXPECT_EQ(link.levels[0].openErrors.tailLength, 30u);

    // The signature alone, at the very start of the file, is no archive: the start lies before it.
    ASSERT_TRUE(testsupport::WriteFile(dir / "y.bin", "OFS123456789abcdefgh"));
    CArchiveLink none;
    EXPECT_EQ(OpenLink(none, "y.bin"), S_FALSE);
}

TEST_F(BuiltInFormatsTest, RecordBehindTheScanPositionDoesNotStallTheScan) {
    std::string data(50, '.');
    data += "BKD";
    data += std::string(50, '.');
    data += "BKD";
    ASSERT_TRUE(testsupport::WriteFile(dir / "x.bin", data));
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, "x.bin", L"#"), S_OK);
    ASSERT_EQ(link.levels.Size(), 1u);
    const CArc &arc = link.levels[0];
    ASSERT_TRUE(arc.isParserLevel);
    UInt32 n = 0;
    ASSERT_EQ(arc.handler->GetNumberOfItems(&n), S_OK);
    ASSERT_GE(n, 2u);
    UString path;
    ASSERT_EQ(arc.GetItemPath(0, path), S_OK);
    EXPECT_STREQ(path.Ptr(), L"1.bhd");
}

// Items with parent links, names, deleted and alternate-stream marks, as a tree archive gives them.
struct CTreeItem {
    const wchar_t *path; // null: no path property
    const wchar_t *name;
    UInt32 parent;
    UInt32 parentType;
    bool isDir;
    const wchar_t *ext;
    bool deleted;
    bool altStream;
};

class CTreeHandler : public CTestHandlerBase, public IArchiveGetRawProps {
public:
    std::vector<CTreeItem> items;

    COM_UNKNOWN_IMP(IInArchive, IInArchiveGetStream, IArchiveGetRawProps)
    HRESULT Open(IInStream *, const UInt64 *, IArchiveOpenCallback *) override { return S_OK; }
    HRESULT GetNumberOfItems(UInt32 *n) override {
        *n = (UInt32)items.size();
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        const CTreeItem &item = items[index];
        CPropVariant prop;
        switch (propID) {
        case kpidPath:
            if (item.path) prop = item.path;
            break;
        case kpidName:
            prop = item.name;
            break;
        case kpidIsDir:
            prop = item.isDir;
            break;
        case kpidExtension:
            if (item.ext) prop = item.ext;
            break;
        case kpidIsDeleted:
            prop = item.deleted;
            break;
        case kpidIsAltStream:
            prop = item.altStream;
            break;
        }
        prop.Detach(value);
        return S_OK;
    }
    HRESULT GetParent(UInt32 index, UInt32 *parent, UInt32 *parentType) override {
        *parent = items[index].parent;
        *parentType = items[index].parentType;
        return S_OK;
    }
    HRESULT GetRawProp(UInt32, PROPID, const void **data, UInt32 *size, UInt32 *type) override {
        *data = nullptr;
        *size = 0;
        *type = 0;
        return S_OK;
    }
    HRESULT GetNumRawProps(UInt32 *n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetRawPropInfo(UInt32, BSTR *, PROPID *) override { return E_INVALIDARG; }
};

const UInt32 kRoot = (UInt32)(Int32)-1;

class ItemAccessTest : public ::testing::Test {
protected:
    CTreeHandler *tree = new CTreeHandler;
    CArc arc;

    void SetUp() override {
        arc.handler = tree;
        arc.rawPropsHandler = tree;
        arc.defaultItemName = L"data";
        arc.formatIndex = 0;
    }
};

TEST_F(ItemAccessTest, CyclicParentLinksFailInsteadOfLooping) {
    tree->items = {{L"a", L"a", 1, 0, true, nullptr, false, false},
                   {L"b", L"b", 0, 0, true, nullptr, false, false},
                   {L"c", L"c", 2, 0, false, nullptr, false, false}};
    UStringVector parts;
    EXPECT_EQ(arc.GetItemPathToParent(0, kRoot, parts), E_FAIL);
    parts.Clear();
    EXPECT_EQ(arc.GetItemPathToParent(2, kRoot, parts), E_FAIL);
    CReadArcItem item;
    item.relativeToBase = true;
    item.baseFolderIndex = kRoot;
    EXPECT_EQ(arc.GetItem(0, item), E_FAIL);
}

TEST_F(ItemAccessTest, ParentLinksBuildThePathWithAlternateStreams) {
    tree->items = {{L"dir", L"dir", kRoot, 0, true, nullptr, false, false},
                   {L"dir/f", L"f", 0, 0, false, nullptr, false, false},
                   {L"dir/f:s1", L"s1", 1, 1, false, nullptr, false, true},
                   {L":root", L"root", kRoot, 1, false, nullptr, false, true}};
    arc.mayHaveAltStreams = true;
    UStringVector parts;
    ASSERT_EQ(arc.GetItemPathToParent(2, kRoot, parts), S_OK);
    EXPECT_EQ(Bracketed(parts), L"[dir][f:s1]");
    parts.Clear();
    ASSERT_EQ(arc.GetItemPathToParent(1, 0, parts), S_OK);
    EXPECT_EQ(Bracketed(parts), L"[f]");

    CReadArcItem item;
    ASSERT_EQ(arc.GetItem(2, item), S_OK);
    EXPECT_TRUE(item.isAltStream);
    EXPECT_STREQ(item.mainPath.Ptr(), L"dir/f");
    EXPECT_STREQ(item.altStreamName.Ptr(), L"s1");
    EXPECT_EQ(item.parentIndex, 1u);
    EXPECT_FALSE(item.mainIsDir);
    EXPECT_EQ(Bracketed(item.pathParts), L"[dir][f]");

    // A stream of the archive root has no main file.
    ASSERT_EQ(arc.GetItem(3, item), S_OK);
    EXPECT_TRUE(item.mainPath.IsEmpty());
    EXPECT_TRUE(item.mainIsDir);
    EXPECT_STREQ(item.altStreamName.Ptr(), L"root");
}

TEST_F(ItemAccessTest, PathsWithoutNamesDeletedItemsAndColons) {
    arc.rawPropsHandler.Release();
    tree->items = {{nullptr, L"", kRoot, 0, false, nullptr, false, false},
                   {nullptr, L"", kRoot, 0, false, L"txt", false, false},
                   {nullptr, L"", kRoot, 0, true, L"txt", false, false},
                   {nullptr, L"", kRoot, 0, false, L"../../etc/x", false, false},
                   {L"old.txt", L"", kRoot, 0, false, nullptr, true, false},
                   {L"dir/file:s1", L"", kRoot, 0, false, nullptr, false, false},
                   {L":s1", L"", kRoot, 0, false, nullptr, false, false},
                   {L"a:b/c", L"", kRoot, 0, false, nullptr, false, false}};
    arc.mayHaveDeleted = true;
    const wchar_t *const expected[] = {L"data", L"data.txt", L"", L"data..._.._etc_x", L"[DELETED]/old.txt"};
    for (UInt32 i = 0; i < 5; i++) {
        UString path;
        ASSERT_EQ(arc.GetItemPath2(i, path), S_OK);
        EXPECT_STREQ(path.Ptr(), expected[i]) << i;
    }

    CReadArcItem item;
    item.splitAtColon = true;
    ASSERT_EQ(arc.GetItem(5, item), S_OK);
    EXPECT_STREQ(item.mainPath.Ptr(), L"dir/file");
    EXPECT_STREQ(item.altStreamName.Ptr(), L"s1");
    EXPECT_FALSE(item.mainIsDir);
    EXPECT_TRUE(item.isAltStream);
    ASSERT_EQ(arc.GetItem(6, item), S_OK);
    EXPECT_TRUE(item.mainPath.IsEmpty());
    EXPECT_TRUE(item.mainIsDir);
    ASSERT_EQ(arc.GetItem(7, item), S_OK);
    EXPECT_FALSE(item.isAltStream);
    EXPECT_STREQ(item.mainPath.Ptr(), L"a:b/c");
    EXPECT_EQ(FindAltStreamColon_in_Path(L"a:b/c"), -1);
}

// The parser's records: order, gaps, cut unknown lengths, and extraction of the raw bytes.
class CMemOut : public ISequentialOutStream, public CMyUnknownImp {
public:
    std::string data;
    COM_UNKNOWN_IMP(ISequentialOutStream)
    HRESULT Write(const void *p, UInt32 size, UInt32 *processed) override {
        data.append((const char *)p, size);
        if (processed) *processed = size;
        return S_OK;
    }
};

class CCollectCallback : public IArchiveExtractCallback, public CMyUnknownImp {
public:
    std::vector<std::string> outputs;
    std::vector<Int32> results;
    CMyComPtr<ISequentialOutStream> current;
    CMemOut *currentSpec = nullptr;
    COM_UNKNOWN_IMP(IArchiveExtractCallback)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetStream(UInt32, ISequentialOutStream **out, Int32) override {
        currentSpec = new CMemOut;
        current = currentSpec;
        CMyComPtr<ISequentialOutStream> copy = current;
        *out = copy.Detach();
        return S_OK;
    }
    HRESULT PrepareOperation(Int32) override { return S_OK; }
    HRESULT SetOperationResult(Int32 r) override {
        outputs.push_back(currentSpec->data);
        results.push_back(r);
        current.Release();
        return S_OK;
    }
};

NArchive::NParser::CParseItem Record(UInt64 offset, UInt64 size, bool lengthUnknown = false) {
    NArchive::NParser::CParseItem pi;
    pi.offset = offset;
    pi.size = size;
    pi.lengthUnknown = lengthUnknown;
    return pi;
}

TEST(ParserHandler, RecordsAreOrderedAndGapsFilled) {
    NArchive::NParser::CHandler *impl = new NArchive::NParser::CHandler;
    CMyComPtr<IInArchive> parser = impl;
    impl->AddItem(Record(1000, 500));
    impl->AddItem(Record(1000, 200));
    ASSERT_EQ(impl->NumItems(), 3u);
    EXPECT_EQ(impl->Item(0).offset, 0u);
    EXPECT_EQ(impl->Item(0).size, 1000u);
    EXPECT_EQ(impl->Item(1).size, 200u);
    EXPECT_EQ(impl->Item(2).size, 500u);
    impl->AddUnknownItem(2000);
    ASSERT_EQ(impl->NumItems(), 4u);
    EXPECT_EQ(impl->Item(3).offset, 1500u);
    EXPECT_EQ(impl->Item(3).size, 500u);

    NArchive::NParser::CParseItem named = Record(2000, 10);
    named.name = L"../evil";
    named.extension = L"zip";
    impl->AddItem(named);
    CPropVariant path;
    ASSERT_EQ(parser->GetProperty(4, kpidPath, &path), S_OK);
    EXPECT_STREQ(path.bstrVal, L"5..._evil.zip");
    CPropVariant gapPath;
    ASSERT_EQ(parser->GetProperty(0, kpidPath, &gapPath), S_OK);
    EXPECT_STREQ(gapPath.bstrVal, L"1");
}

TEST(ParserHandler, UnknownLengthIsCutOnlyAfterItsStart) {
    NArchive::NParser::CHandler *impl = new NArchive::NParser::CHandler;
    CMyComPtr<IInArchive> parser = impl;
    impl->AddItem(Record(100, 900, true));
    impl->AddItem(Record(400, 50));
    ASSERT_EQ(impl->NumItems(), 3u);
    EXPECT_EQ(impl->Item(1).size, 300u);

    NArchive::NParser::CHandler *spec2 = new NArchive::NParser::CHandler;
    CMyComPtr<IInArchive> parser2 = spec2;
    spec2->AddItem(Record(100, 900, true));
    // An end before the record's start would make its size wrap round.
    spec2->AddUnknownItem(60);
    EXPECT_EQ(spec2->Item(1).offset, 100u);
    EXPECT_EQ(spec2->Item(1).size, 900u);
}

TEST(ParserHandler, ExtractWritesTheRawBytesOfEachRecord) {
    const std::string file = "GAPGAParchive-bytes-tail";
    CBufInStream *streamSpec = new CBufInStream;
    CMyComPtr<IInStream> stream = streamSpec;
    streamSpec->Init((const Byte *)file.data(), file.size());

    NArchive::NParser::CHandler *impl = new NArchive::NParser::CHandler;
    CMyComPtr<IInArchive> parser = impl;
    ASSERT_EQ(parser->Open(stream, nullptr, nullptr), S_OK);
    impl->AddItem(Record(6, 13));
    impl->AddUnknownItem(file.size() + 5); // claims more than the file holds

    CCollectCallback *cbSpec = new CCollectCallback;
    CMyComPtr<IArchiveExtractCallback> cb = cbSpec;
    ASSERT_EQ(parser->Extract(nullptr, (UInt32)(Int32)-1, 0, cb), S_OK);
    ASSERT_EQ(cbSpec->outputs.size(), 3u);
    EXPECT_EQ(cbSpec->outputs[0], "GAPGAP");
    EXPECT_EQ(cbSpec->outputs[1], "archive-bytes");
    EXPECT_EQ(cbSpec->outputs[2], "-tail");
    EXPECT_EQ(cbSpec->results[0], 0);
    EXPECT_EQ(cbSpec->results[1], 0);
    EXPECT_EQ(cbSpec->results[2], NArchive::NExtract::NOperationResult::kDataError);

    // A reopen empties the list.
    ASSERT_EQ(parser->Open(stream, nullptr, nullptr), S_OK);
    UInt32 n = 1;
    ASSERT_EQ(parser->GetNumberOfItems(&n), S_OK);
    EXPECT_EQ(n, 0u);
}

} // namespace
