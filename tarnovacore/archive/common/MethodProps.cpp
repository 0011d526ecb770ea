#include "MethodProps.h"

#include "archive/IArchive.h"
#include "common/StringToInt.h"

#include <memory>

using NWindows::NCOM::CPropVariant;

// Values are handed on as a PROPVARIANT array.
static_assert(sizeof(CPropVariant) == sizeof(PROPVARIANT), "no members beyond the variant");

namespace {

struct CNameToPropID {
    VARTYPE VarType;
    const char *Name;
};

// The row index is the coder property id.
const CNameToPropID g_NameToPropID[] = {
    {VT_UI4, ""},   {VT_UI4, "d"},  {VT_UI4, "mem"},  {VT_UI4, "o"},   {VT_UI4, "c"},         {VT_UI4, "pb"},
    {VT_UI4, "lc"}, {VT_UI4, "lp"}, {VT_UI4, "fb"},   {VT_BSTR, "mf"}, {VT_UI4, "mc"},        {VT_UI4, "pass"},
    {VT_UI4, "a"},  {VT_UI4, "mt"}, {VT_BOOL, "eos"}, {VT_UI4, "x"},   {VT_UI4, "reduceSize"}};

const unsigned kNumNameToPropIDs = sizeof(g_NameToPropID) / sizeof(g_NameToPropID[0]);
static_assert(kNumNameToPropIDs == NCoderPropID::kReduceSize + 1, "one row per coder property id");

bool IsSizeProp(PROPID id) {
    return id == NCoderPropID::kDictionarySize || id == NCoderPropID::kUsedMemorySize ||
           id == NCoderPropID::kBlockSize || id == NCoderPropID::kReduceSize;
}

// A null BSTR reads as empty text.
UString BstrToUString(const PROPVARIANT &prop) {
    UString s;
    if (prop.bstrVal) s = prop.bstrVal;
    return s;
}

// 2^n for a power-of-two exponent, in 32 bits while it fits.
HRESULT ExponentToSize(UInt32 n, CPropVariant &destProp) {
    if (n >= 64) return E_INVALIDARG;
    if (n < 32)
        destProp = (UInt32)((UInt32)1 << n);
    else
        destProp = (UInt64)((UInt64)1 << n);
    return S_OK;
}

} // namespace

int FindPropIdExact(const UString &name) {
    for (unsigned i = 0; i < kNumNameToPropIDs; i++)
        if (StringsAreEqualNoCase_Ascii(name, g_NameToPropID[i].Name)) return (int)i;
    return -1;
}

HRESULT StringToDictSize(const UString &s, CPropVariant &destProp) {
    const wchar_t *start = s;
    const wchar_t *end;
    const UInt32 number = ConvertStringToUInt32(start, &end);
    const unsigned numDigits = (unsigned)(end - start);
    if (numDigits == 0 || s.Len() > numDigits + 1) return E_INVALIDARG;
    if (s.Len() == numDigits) return ExponentToSize(number, destProp);
    unsigned numBits;
    switch (MyCharLower_Ascii(s[numDigits])) {
    case 'b':
        destProp = number;
        return S_OK;
    case 'k':
        numBits = 10;
        break;
    case 'm':
        numBits = 20;
        break;
    case 'g':
        numBits = 30;
        break;
    default:
        return E_INVALIDARG;
    }
    if (number < ((UInt32)1 << (32 - numBits)))
        destProp = (UInt32)(number << numBits);
    else
        destProp = (UInt64)((UInt64)number << numBits);
    return S_OK;
}

void SplitParam(const UString &param, UString &name, UString &value) {
    const int eqPos = param.Find(L'=');
    if (eqPos >= 0) {
        name.SetFrom(param, (unsigned)eqPos);
        value = param.Ptr((unsigned)eqPos + 1);
        return;
    }
    unsigned i;
    for (i = 0; i < param.Len(); i++) {
        const wchar_t c = param[i];
        if (c >= L'0' && c <= L'9') break;
    }
    name.SetFrom(param, i);
    value = param.Ptr(i);
}

bool StringToBool(const UString &s, bool &res) {
    if (s.IsEmpty() || s == L"+" || s.IsEqualTo_Ascii_NoCase("ON")) {
        res = true;
        return true;
    }
    if (s == L"-" || s.IsEqualTo_Ascii_NoCase("OFF")) {
        res = false;
        return true;
    }
    return false;
}

HRESULT PROPVARIANT_to_bool(const PROPVARIANT &prop, bool &dest) {
    switch (prop.vt) {
    case VT_EMPTY:
        dest = true;
        return S_OK;
    case VT_BOOL:
        dest = (prop.boolVal != VARIANT_FALSE);
        return S_OK;
    case VT_BSTR:
        return StringToBool(BstrToUString(prop), dest) ? S_OK : E_INVALIDARG;
    default:
        return E_INVALIDARG;
    }
}

bool ConvertProperty(const PROPVARIANT &srcProp, VARTYPE varType, CPropVariant &destProp) {
    if (srcProp.vt == varType) {
        destProp = srcProp;
        return true;
    }
    if (varType == VT_BOOL) {
        bool res;
        if (PROPVARIANT_to_bool(srcProp, res) != S_OK) return false;
        destProp = res;
        return true;
    }
    if (srcProp.vt == VT_EMPTY) {
        destProp = srcProp;
        return true;
    }
    return false;
}

unsigned ParseStringToUInt32(const UString &srcString, UInt32 &number) {
    const wchar_t *start = srcString;
    const wchar_t *end;
    number = ConvertStringToUInt32(start, &end);
    return (unsigned)(end - start);
}

HRESULT ParsePropToUInt32(const UString &name, const PROPVARIANT &prop, UInt32 &resValue) {
    if (prop.vt == VT_UI4) {
        if (!name.IsEmpty()) return E_INVALIDARG;
        resValue = prop.ulVal;
        return S_OK;
    }
    if (prop.vt != VT_EMPTY) return E_INVALIDARG;
    if (name.IsEmpty()) return S_OK;
    UInt32 v;
    if (ParseStringToUInt32(name, v) != name.Len()) return E_INVALIDARG;
    resValue = v;
    return S_OK;
}

HRESULT ParseMtProp(const UString &name, const PROPVARIANT &prop, UInt32 numCPUs, UInt32 &numThreads) {
    if (!name.IsEmpty()) {
        if (prop.vt != VT_EMPTY) return E_INVALIDARG;
        return ParsePropToUInt32(name, prop, numThreads);
    }
    if (prop.vt == VT_UI4) {
        numThreads = prop.ulVal;
        return S_OK;
    }
    bool val;
    const HRESULT res = PROPVARIANT_to_bool(prop, val);
    if (res != S_OK) return res;
    numThreads = val ? numCPUs : 1;
    return S_OK;
}

void CProps::AddProp32(PROPID propid, UInt32 value) {
    CProp &prop = Props.AddNew();
    prop.Id = propid;
    prop.Optional = true;
    prop.Value = value;
}

void CCoderProps::AddProp(const CProp &prop) {
    if (_numProps >= _numPropsMax) throw 1012;
    _propIDs[_numProps] = prop.Id;
    _props[_numProps] = prop.Value;
    _numProps++;
}

HRESULT CProps::SetCoderProps(ICompressSetCoderProperties *scp, const UInt64 *dataSizeReduce) const {
    CCoderProps coderProps(Props.Size() + (dataSizeReduce ? 1 : 0));
    for (unsigned i = 0; i < Props.Size(); i++)
        coderProps.AddProp(Props[i]);
    if (dataSizeReduce) {
        CProp prop;
        prop.Id = NCoderPropID::kReduceSize;
        prop.Value = *dataSizeReduce;
        coderProps.AddProp(prop);
    }
    return coderProps.SetProps(scp);
}

int CMethodProps::FindProp(PROPID id) const {
    for (unsigned i = Props.Size(); i != 0;)
        if (Props[--i].Id == id) return (int)i;
    return -1;
}

int CMethodProps::GetLevel() const {
    const int i = FindProp(NCoderPropID::kLevel);
    if (i < 0) return 5;
    const PROPVARIANT &value = Props[(unsigned)i].Value;
    if (value.vt != VT_UI4) return 9;
    return value.ulVal > 9 ? 9 : (int)value.ulVal;
}

HRESULT CMethodProps::SetParam(const UString &name, const UString &value) {
    const int index = FindPropIdExact(name);
    if (index < 0) return E_INVALIDARG;
    const CNameToPropID &nameToPropID = g_NameToPropID[(unsigned)index];
    CProp prop;
    prop.Id = (PROPID)index;

    if (IsSizeProp(prop.Id)) {
        const HRESULT res = StringToDictSize(value, prop.Value);
        if (res != S_OK) return res;
    } else {
        CPropVariant propValue;
        if (nameToPropID.VarType == VT_BSTR)
            propValue = value;
        else if (nameToPropID.VarType == VT_BOOL) {
            bool res;
            if (!StringToBool(value, res)) return E_INVALIDARG;
            propValue = res;
        } else if (!value.IsEmpty()) {
            UInt32 number;
            if (ParseStringToUInt32(value, number) == value.Len())
                propValue = number;
            else
                propValue = value;
        }
        if (!ConvertProperty(propValue, nameToPropID.VarType, prop.Value)) return E_INVALIDARG;
    }
    Props.Add(prop);
    return S_OK;
}

HRESULT CMethodProps::ParseParamsFromString(const UString &srcString) {
    if (srcString.IsEmpty()) return S_OK;
    unsigned start = 0;
    for (;;) {
        int colon = srcString.Find(L':', start);
        const unsigned end = colon < 0 ? srcString.Len() : (unsigned)colon;
        const UString param = srcString.Mid(start, end - start);
        UString name, value;
        SplitParam(param, name, value);
        const HRESULT res = SetParam(name, value);
        if (res != S_OK) return res;
        if (colon < 0) return S_OK;
        start = end + 1;
    }
}

HRESULT CMethodProps::ParseParamsFromPROPVARIANT(const UString &realName, const PROPVARIANT &value) {
    if (realName.IsEmpty()) return E_INVALIDARG;
    if (value.vt == VT_EMPTY) {
        UString name, valueStr;
        SplitParam(realName, name, valueStr);
        return SetParam(name, valueStr);
    }
    const int index = FindPropIdExact(realName);
    if (index < 0) return E_INVALIDARG;
    const CNameToPropID &nameToPropID = g_NameToPropID[(unsigned)index];
    CProp prop;
    prop.Id = (PROPID)index;

    if (IsSizeProp(prop.Id)) {
        HRESULT res;
        if (value.vt == VT_UI4)
            res = ExponentToSize(value.ulVal, prop.Value);
        else if (value.vt == VT_BSTR)
            res = StringToDictSize(BstrToUString(value), prop.Value);
        else
            res = E_INVALIDARG;
        if (res != S_OK) return res;
    } else if (!ConvertProperty(value, nameToPropID.VarType, prop.Value))
        return E_INVALIDARG;
    Props.Add(prop);
    return S_OK;
}

HRESULT COneMethodInfo::ParseMethodFromString(const UString &s) {
    MethodName.Empty();
    ParamsText.Empty();
    const int splitPos = s.Find(L':');
    const unsigned nameLen = splitPos < 0 ? s.Len() : (unsigned)splitPos;
    AString name;
    char *buf = name.GetBuf(nameLen);
    for (unsigned i = 0; i < nameLen; i++) {
        const wchar_t c = s[i];
        if ((UInt32)c > 0x7F) return E_INVALIDARG;
        buf[i] = (char)c;
    }
    name.ReleaseBuf_SetEnd(nameLen);
    MethodName = name;
    if (splitPos < 0) return S_OK;
    ParamsText = s.Ptr((unsigned)splitPos + 1);
    return ParseParamsFromString(ParamsText);
}

HRESULT COneMethodInfo::ParseMethodFromPROPVARIANT(const UString &realName, const PROPVARIANT &value) {
    if (!realName.IsEmpty() && !realName.IsEqualTo_Ascii_NoCase("m"))
        return ParseParamsFromPROPVARIANT(realName, value);
    if (value.vt != VT_BSTR) return E_INVALIDARG;
    return ParseMethodFromString(BstrToUString(value));
}

HRESULT SetProperties(IUnknown *unknown, const CObjectVector<CProperty> &properties) {
    if (properties.IsEmpty()) return S_OK;
    CMyComPtr<ISetProperties> setProperties;
    unknown->QueryInterface(IID_ISetProperties, (void **)&setProperties);
    if (!setProperties) return S_OK;

    UStringVector realNames;
    std::unique_ptr<CPropVariant[]> values(new CPropVariant[properties.Size()]);
    for (unsigned i = 0; i < properties.Size(); i++) {
        const CProperty &property = properties[i];
        UString name = property.Name;
        CPropVariant &propVariant = values[i];
        if (property.Value.IsEmpty()) {
            if (!name.IsEmpty()) {
                const wchar_t c = name.Back();
                if (c == L'-')
                    propVariant = false;
                else if (c == L'+')
                    propVariant = true;
                if (propVariant.vt != VT_EMPTY) name.DeleteBack();
            }
        } else {
            const wchar_t *start = property.Value;
            const wchar_t *end;
            const UInt64 v = ConvertStringToUInt64(start, &end);
            if (*end != 0)
                propVariant = property.Value;
            else if (v <= 0xFFFFFFFF)
                propVariant = (UInt32)v;
            else
                propVariant = v;
        }
        realNames.Add(name);
    }
    CRecordVector<const wchar_t *> names;
    for (unsigned i = 0; i < realNames.Size(); i++)
        names.Add(realNames[i].Ptr());
    return setProperties->SetProperties(names.ConstData(), values.get(), names.Size());
}
