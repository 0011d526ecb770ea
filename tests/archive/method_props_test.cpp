// Method parameter texts to typed coder properties, and archive options handed to handlers.
#include "archive/IArchive.h"
#include "archive/common/MethodProps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using NWindows::NCOM::CPropVariant;

namespace {

// What one parsed property should be: a type and either a number or a text.
struct CWant {
    HRESULT res;
    PROPID id;
    VARTYPE vt;
    UInt64 number;
    const wchar_t *text;
};

const CWant kFails = {E_INVALIDARG, 0, VT_EMPTY, 0, nullptr};
CWant Num(PROPID id, VARTYPE vt, UInt64 n) {
    return {S_OK, id, vt, n, nullptr};
}
CWant Text(PROPID id, const wchar_t *s) {
    return {S_OK, id, VT_BSTR, 0, s};
}
CWant Empty(PROPID id) {
    return {S_OK, id, VT_EMPTY, 0, nullptr};
}

std::string Describe(const PROPVARIANT &v) {
    std::string s = "vt=" + std::to_string(v.vt);
    switch (v.vt) {
    case VT_UI4:
        return s + " " + std::to_string(v.ulVal);
    case VT_UI8:
        return s + " " + std::to_string(v.uhVal.QuadPart);
    case VT_BOOL:
        return s + (v.boolVal ? " true" : " false");
    case VT_BSTR: {
        std::string t;
        for (const wchar_t *p = v.bstrVal; p && *p; p++)
            t += (char)*p;
        return s + " '" + t + "'";
    }
    default:
        return s;
    }
}

void ExpectValue(const PROPVARIANT &v, const CWant &want, const std::string &what) {
    ASSERT_EQ(v.vt, want.vt) << what << ": " << Describe(v);
    switch (want.vt) {
    case VT_UI4:
        EXPECT_EQ(v.ulVal, want.number) << what;
        break;
    case VT_UI8:
        EXPECT_EQ(v.uhVal.QuadPart, want.number) << what;
        break;
    case VT_BOOL:
        EXPECT_EQ(v.boolVal, want.number ? VARIANT_TRUE : VARIANT_FALSE) << what;
        break;
    case VT_BSTR:
        EXPECT_STREQ(v.bstrVal, want.text) << what;
        break;
    default:
        break;
    }
}

void ExpectOneProp(const CMethodProps &props, HRESULT res, const CWant &want, const std::string &what) {
    ASSERT_EQ(res, want.res) << what;
    if (want.res != S_OK) {
        EXPECT_EQ(props.Props.Size(), 0u) << what;
        return;
    }
    ASSERT_EQ(props.Props.Size(), 1u) << what;
    EXPECT_EQ(props.Props[0].Id, want.id) << what;
    EXPECT_FALSE(props.Props[0].Optional) << what;
    ExpectValue(props.Props[0].Value, want, what);
}

struct CTextCase {
    const wchar_t *param;
    CWant want;
};

TEST(MethodProps, ParameterTextBecomesTypedProperty) {
    const UInt64 k4G = (UInt64)1 << 32;
    const CTextCase cases[] = {
        {L"d=24", Num(1, VT_UI4, 1 << 24)},
        {L"d=64m", Num(1, VT_UI4, 64u << 20)},
        {L"d32", Num(1, VT_UI8, k4G)},
        {L"d63", Num(1, VT_UI8, (UInt64)1 << 63)},
        {L"d64", kFails},
        {L"d=4g", Num(1, VT_UI8, k4G)},
        {L"d=3g", Num(1, VT_UI4, 3221225472u)},
        {L"d=4194303k", Num(1, VT_UI4, 4194303ull << 10)},
        {L"d=4194304k", Num(1, VT_UI8, k4G)},
        {L"d=4095m", Num(1, VT_UI4, 4095ull << 20)},
        {L"d=4096m", Num(1, VT_UI8, k4G)},
        {L"d=7b", Num(1, VT_UI4, 7)},
        {L"D=2K", Num(1, VT_UI4, 2048)},
        {L"d=64mb", kFails},
        {L"d=64x", kFails},
        {L"d=", kFails},
        {L"d=m", kFails},
        {L"d=99999999999", kFails},
        {L"mem=1g", Num(2, VT_UI4, 1u << 30)},
        {L"c=2m", Num(4, VT_UI4, 2u << 20)},
        {L"reduceSize=10", Num(16, VT_UI4, 1024)},
        {L"x9", Num(15, VT_UI4, 9)},
        {L"X=9", Num(15, VT_UI4, 9)},
        {L"x", Empty(15)},
        {L"xz", kFails},
        {L"x=fast", kFails},
        {L"fb=99999999999", kFails},
        {L"eos", Num(14, VT_BOOL, 1)},
        {L"eos=off", Num(14, VT_BOOL, 0)},
        {L"eos=-", Num(14, VT_BOOL, 0)},
        {L"eos=maybe", kFails},
        {L"mf=bt4", Text(9, L"bt4")},
        {L"mf=", Text(9, L"")},
        {L"mt=on", kFails},
        {L"mt4", Num(13, VT_UI4, 4)},
        {L"mt", Empty(13)},
        {L"=5", Num(0, VT_UI4, 5)},
        {L"zz=1", kFails},
    };
    for (const CTextCase &c : cases) {
        CMethodProps props;
        std::string what(c.param, c.param + wcslen(c.param));
        ExpectOneProp(props, props.ParseParamsFromString(c.param), c.want, what);
    }
    CMethodProps none;
    EXPECT_EQ(none.ParseParamsFromString(L""), S_OK);
    EXPECT_TRUE(none.Props.IsEmpty());
}

struct CVariantCase {
    const wchar_t *name;
    VARTYPE vt;
    UInt64 number;
    const wchar_t *text;
    CWant want;
};

TEST(MethodProps, NamedVariantBecomesTypedProperty) {
    const CVariantCase cases[] = {
        {L"d", VT_UI4, 24, nullptr, Num(1, VT_UI4, 1 << 24)},
        {L"d", VT_UI4, 40, nullptr, Num(1, VT_UI8, (UInt64)1 << 40)},
        {L"d", VT_UI4, 64, nullptr, kFails},
        {L"d", VT_BSTR, 0, L"64m", Num(1, VT_UI4, 64u << 20)},
        {L"d", VT_BSTR, 0, L"64q", kFails},
        {L"d", VT_BOOL, 1, nullptr, kFails},
        {L"x", VT_UI4, 9, nullptr, Num(15, VT_UI4, 9)},
        {L"x", VT_BSTR, 0, L"9", kFails},
        {L"eos", VT_BSTR, 0, L"off", Num(14, VT_BOOL, 0)},
        {L"eos", VT_UI4, 1, nullptr, kFails},
        {L"mf", VT_BSTR, 0, L"hc4", Text(9, L"hc4")},
        {L"x9", VT_EMPTY, 0, nullptr, Num(15, VT_UI4, 9)},
        {L"d=1m", VT_EMPTY, 0, nullptr, Num(1, VT_UI4, 1 << 20)},
        {L"", VT_UI4, 1, nullptr, kFails},
        {L"zz", VT_UI4, 1, nullptr, kFails},
    };
    for (const CVariantCase &c : cases) {
        CPropVariant value;
        if (c.vt == VT_UI4)
            value = (UInt32)c.number;
        else if (c.vt == VT_BOOL)
            value = c.number != 0;
        else if (c.vt == VT_BSTR)
            value = c.text;
        CMethodProps props;
        std::string what(c.name, c.name + wcslen(c.name));
        what += " " + Describe(value);
        ExpectOneProp(props, props.ParseParamsFromPROPVARIANT(c.name, value), c.want, what);
    }
}

TEST(MethodProps, MethodTextGivesNameAndParameters) {
    COneMethodInfo m;
    ASSERT_EQ(m.ParseMethodFromString(L"LZMA:d=24:x9"), S_OK);
    EXPECT_STREQ(m.MethodName, "LZMA");
    EXPECT_STREQ(m.ParamsText, L"d=24:x9");
    ASSERT_EQ(m.Props.Size(), 2u);
    EXPECT_EQ(m.Props[0].Id, 1u);
    EXPECT_EQ(m.Props[1].Id, 15u);
    EXPECT_EQ(m.GetLevel(), 9);

    // Reused for a bare name: the earlier parameter text goes.
    COneMethodInfo bare;
    ASSERT_EQ(bare.ParseMethodFromString(L"a:x1"), S_OK);
    ASSERT_EQ(bare.ParseMethodFromString(L"Deflate"), S_OK);
    EXPECT_STREQ(bare.MethodName, "Deflate");
    EXPECT_TRUE(bare.ParamsText.IsEmpty());

    COneMethodInfo trailing;
    ASSERT_EQ(trailing.ParseMethodFromString(L"BZip2:x5:"), S_OK);
    ASSERT_EQ(trailing.Props.Size(), 2u);
    EXPECT_EQ(trailing.Props[1].Id, 0u);
    EXPECT_EQ(trailing.Props[1].Value.vt, VT_EMPTY);

    COneMethodInfo wide;
    EXPECT_EQ(wide.ParseMethodFromString(L"M\u00e9thode:x1"), E_INVALIDARG);
    EXPECT_TRUE(wide.Props.IsEmpty());

    // The properties before a bad one stay; the caller discards the whole object.
    COneMethodInfo partial;
    EXPECT_EQ(partial.ParseMethodFromString(L"LZMA:x3::zz=1:d=20"), E_INVALIDARG);
    ASSERT_EQ(partial.Props.Size(), 2u);
    EXPECT_EQ(partial.Props[0].Id, 15u);
    EXPECT_EQ(partial.Props[1].Id, 0u);
}

TEST(MethodProps, MethodFromVariantTakesTextOrOneParameter) {
    CPropVariant text;
    text = L"PPMd:o=6";
    COneMethodInfo m;
    ASSERT_EQ(m.ParseMethodFromPROPVARIANT(L"M", text), S_OK);
    EXPECT_STREQ(m.MethodName, "PPMd");
    ASSERT_EQ(m.Props.Size(), 1u);
    EXPECT_EQ(m.Props[0].Id, 3u);

    COneMethodInfo unnamed;
    ASSERT_EQ(unnamed.ParseMethodFromPROPVARIANT(L"", text), S_OK);
    EXPECT_STREQ(unnamed.MethodName, "PPMd");

    CPropVariant number;
    number = (UInt32)7;
    COneMethodInfo notText;
    EXPECT_EQ(notText.ParseMethodFromPROPVARIANT(L"m", number), E_INVALIDARG);

    COneMethodInfo param;
    ASSERT_EQ(param.ParseMethodFromPROPVARIANT(L"x", number), S_OK);
    EXPECT_TRUE(param.MethodName.IsEmpty());
    ASSERT_EQ(param.Props.Size(), 1u);
    EXPECT_EQ(param.GetLevel(), 7);
}

TEST(MethodProps, LevelIsLastLevelClampedToNine) {
    struct {
        const wchar_t *params;
        int level;
    } const cases[] = {{L"", 5}, {L"d=20", 5}, {L"x3", 3}, {L"x0", 0}, {L"x12", 9}, {L"x", 9}, {L"x3:x7", 7}};
    for (const auto &c : cases) {
        CMethodProps props;
        ASSERT_EQ(props.ParseParamsFromString(c.params), S_OK);
        EXPECT_EQ(props.GetLevel(), c.level) << c.params;
    }
}

TEST(MethodProps, TextBooleansAndThreadCounts) {
    struct {
        const wchar_t *s;
        bool ok, value;
    } const bools[] = {{L"", true, true},   {L"+", true, true},    {L"on", true, true},    {L"On", true, true},
                       {L"-", true, false}, {L"OFF", true, false}, {L"yes", false, false}, {L"1", false, false}};
    for (const auto &b : bools) {
        bool res = !b.value;
        EXPECT_EQ(StringToBool(b.s, res), b.ok);
        if (b.ok) {
            EXPECT_EQ(res, b.value);
        }
        CPropVariant v;
        v = b.s;
        res = !b.value;
        EXPECT_EQ(PROPVARIANT_to_bool(v, res), b.ok ? S_OK : E_INVALIDARG);
        if (b.ok) {
            EXPECT_EQ(res, b.value);
        }
    }

    CPropVariant empty, ui4, boolFalse, boolTrue, text, ui8;
    ui4 = (UInt32)3;
    boolFalse = false;
    boolTrue = true;
    text = L"off";
    ui8 = (UInt64)3;
    struct {
        const wchar_t *name;
        const CPropVariant *prop;
        HRESULT res;
        UInt32 threads;
    } const mt[] = {
        {L"", &empty, S_OK, 8},         {L"", &ui4, S_OK, 3},
        {L"", &boolFalse, S_OK, 1},     {L"", &boolTrue, S_OK, 8},
        {L"", &text, S_OK, 1},          {L"", &ui8, E_INVALIDARG, 99},
        {L"6", &empty, S_OK, 6},        {L"6x", &empty, E_INVALIDARG, 99},
        {L"6", &ui4, E_INVALIDARG, 99},
    };
    for (const auto &c : mt) {
        UInt32 threads = 99;
        EXPECT_EQ(ParseMtProp(c.name, *c.prop, 8, threads), c.res) << Describe(*c.prop);
        EXPECT_EQ(threads, c.threads) << Describe(*c.prop);
    }

    UInt32 n = 42;
    EXPECT_EQ(ParsePropToUInt32(L"", empty, n), S_OK);
    EXPECT_EQ(n, 42u);
    EXPECT_EQ(ParsePropToUInt32(L"12", ui4, n), E_INVALIDARG);
    EXPECT_EQ(ParsePropToUInt32(L"", ui4, n), S_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(ParsePropToUInt32(L"99999999999", empty, n), E_INVALIDARG);
}

class CRecordingCoder : public ICompressSetCoderProperties, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(ICompressSetCoderProperties)
    std::vector<PROPID> Ids;
    std::vector<CPropVariant> Values;
    HRESULT Answer = S_OK;
    HRESULT SetCoderProperties(const PROPID *ids, const PROPVARIANT *values, UInt32 count) override {
        for (UInt32 i = 0; i < count; i++) {
            Ids.push_back(ids[i]);
            Values.push_back(CPropVariant(values[i]));
        }
        return Answer;
    }
};

TEST(MethodProps, CoderReceivesPropertiesInOrderWithReduceSizeLast) {
    CMethodProps props;
    ASSERT_EQ(props.ParseParamsFromString(L"d=1m:mf=bt2:eos"), S_OK);
    props.AddProp32(NCoderPropID::kNumThreads, 2);
    ASSERT_TRUE(props.Props.Back().Optional);

    CRecordingCoder *impl = new CRecordingCoder;
    CMyComPtr<ICompressSetCoderProperties> coder = impl;
    const UInt64 reduce = 5;
    ASSERT_EQ(props.SetCoderProps(coder, &reduce), S_OK);
    ASSERT_EQ(impl->Ids, (std::vector<PROPID>{1, 9, 14, 13, 16}));
    ExpectValue(impl->Values[0], Num(1, VT_UI4, 1 << 20), "d");
    ExpectValue(impl->Values[1], Text(9, L"bt2"), "mf");
    ExpectValue(impl->Values[2], Num(14, VT_BOOL, 1), "eos");
    ExpectValue(impl->Values[3], Num(13, VT_UI4, 2), "mt");
    ExpectValue(impl->Values[4], Num(16, VT_UI8, 5), "reduceSize");

    CRecordingCoder *refusing = new CRecordingCoder;
    CMyComPtr<ICompressSetCoderProperties> refusingCoder = refusing;
    refusing->Answer = E_NOTIMPL;
    EXPECT_EQ(props.SetCoderProps(refusingCoder, nullptr), E_NOTIMPL);
    EXPECT_EQ(refusing->Ids.size(), 4u);
}

class CRecordingHandler : public ISetProperties, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(ISetProperties)
    int Calls = 0;
    std::vector<std::wstring> Names;
    std::vector<CPropVariant> Values;
    HRESULT Answer = S_OK;
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 count) override {
        Calls++;
        for (UInt32 i = 0; i < count; i++) {
            Names.push_back(names[i]);
            Values.push_back(CPropVariant(values[i]));
        }
        return Answer;
    }
};

// A handler that takes no options.
class CPlainHandler : public IArchiveAllowTail, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IArchiveAllowTail)
    HRESULT SetTailAllowed(Int32) override { return S_OK; }
};

CObjectVector<CProperty> Pairs(std::initializer_list<std::pair<const wchar_t *, const wchar_t *>> list) {
    CObjectVector<CProperty> v;
    for (const auto &p : list) {
        CProperty &prop = v.AddNew();
        prop.Name = p.first;
        prop.Value = p.second;
    }
    return v;
}

TEST(MethodProps, ArchiveOptionsReachHandlerTyped) {
    CRecordingHandler *impl = new CRecordingHandler;
    CMyComPtr<IUnknown> handler = static_cast<ISetProperties *>(impl);
    const CObjectVector<CProperty> props = Pairs({{L"x", L"9"},
                                                  {L"qs", L""},
                                                  {L"qs+", L""},
                                                  {L"mt-", L""},
                                                  {L"s", L"on"},
                                                  {L"v", L"4294967296"},
                                                  {L"w", L"4294967295"},
                                                  {L"big", L"18446744073709551616"},
                                                  {L"", L""}});
    ASSERT_EQ(SetProperties(handler, props), S_OK);
    EXPECT_EQ(impl->Calls, 1);
    ASSERT_EQ(impl->Names, (std::vector<std::wstring>{L"x", L"qs", L"qs", L"mt", L"s", L"v", L"w", L"big", L""}));
    ExpectValue(impl->Values[0], Num(0, VT_UI4, 9), "x");
    ExpectValue(impl->Values[1], Empty(0), "qs");
    ExpectValue(impl->Values[2], Num(0, VT_BOOL, 1), "qs+");
    ExpectValue(impl->Values[3], Num(0, VT_BOOL, 0), "mt-");
    ExpectValue(impl->Values[4], Text(0, L"on"), "s");
    ExpectValue(impl->Values[5], Num(0, VT_UI8, 4294967296ull), "v");
    ExpectValue(impl->Values[6], Num(0, VT_UI4, 4294967295ull), "w");
    ExpectValue(impl->Values[7], Text(0, L"18446744073709551616"), "big");
    ExpectValue(impl->Values[8], Empty(0), "empty");

    impl->Answer = E_INVALIDARG;
    EXPECT_EQ(SetProperties(handler, Pairs({{L"zz", L"1"}})), E_INVALIDARG);
    EXPECT_EQ(SetProperties(handler, CObjectVector<CProperty>()), S_OK);
    EXPECT_EQ(impl->Calls, 2);

    CMyComPtr<IUnknown> plain = static_cast<IArchiveAllowTail *>(new CPlainHandler);
    EXPECT_EQ(SetProperties(plain, props), S_OK);
}

} // namespace
