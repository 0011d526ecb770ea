#pragma once

// Method parameters ("d=24", "x9", "mt") turned into typed coder properties, and archive options
// handed to a format handler.
#include "archive/ICoder.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "common/MyVector.h"
#include "windows/PropVariant.h"

// Row of the parameter-name table whose name equals `name` ignoring ASCII case, or -1.
int FindPropIdExact(const UString &name);

// "24" is 2^24; "64m", "4g", "100k", "5b" are sizes. Values that do not fit 32 bits become VT_UI8.
HRESULT StringToDictSize(const UString &s, NWindows::NCOM::CPropVariant &destProp);

// "d=24" gives d and 24; without '=' the name runs up to the first digit ("x9" gives x and 9).
void SplitParam(const UString &param, UString &name, UString &value);

// Empty, "+", "ON" are true; "-", "OFF" false; anything else is not a boolean.
bool StringToBool(const UString &s, bool &res);
HRESULT PROPVARIANT_to_bool(const PROPVARIANT &prop, bool &dest);
bool ConvertProperty(const PROPVARIANT &srcProp, VARTYPE varType, NWindows::NCOM::CPropVariant &destProp);

// Number of leading decimal digits used (0 also when the number overflows).
unsigned ParseStringToUInt32(const UString &srcString, UInt32 &number);
HRESULT ParsePropToUInt32(const UString &name, const PROPVARIANT &prop, UInt32 &resValue);
HRESULT ParseMtProp(const UString &name, const PROPVARIANT &prop, UInt32 numCPUs, UInt32 &numThreads);

struct CProp {
    PROPID Id;
    bool Optional;
    NWindows::NCOM::CPropVariant Value;
    CProp() : Id(0), Optional(false) {}
};

struct CProps {
    CObjectVector<CProp> Props;

    void Clear() { Props.Clear(); }
    void AddProp32(PROPID propid, UInt32 value);
    // Optional is not passed on; with dataSizeReduce the expected size goes last as VT_UI8.
    HRESULT SetCoderProps(ICompressSetCoderProperties *scp, const UInt64 *dataSizeReduce) const;
};

class CMethodProps : public CProps {
public:
    // Index of the last property with this id, or -1.
    int FindProp(PROPID id) const;
    // 5 when no level is given, 9 when it is not a number, else at most 9.
    int GetLevel() const;

    HRESULT SetParam(const UString &name, const UString &value);
    HRESULT ParseParamsFromString(const UString &srcString);
    HRESULT ParseParamsFromPROPVARIANT(const UString &realName, const PROPVARIANT &value);
};

class COneMethodInfo : public CMethodProps {
public:
    AString MethodName;
    UString ParamsText;

    void Clear() {
        CMethodProps::Clear();
        MethodName.Empty();
        ParamsText.Empty();
    }

    HRESULT ParseMethodFromString(const UString &s);
    HRESULT ParseMethodFromPROPVARIANT(const UString &realName, const PROPVARIANT &value);
};

// Ids and values laid out as the two arrays SetCoderProperties takes.
class CCoderProps {
    PROPID *_propIDs;
    NWindows::NCOM::CPropVariant *_props;
    unsigned _numProps;
    unsigned _numPropsMax;

public:
    explicit CCoderProps(unsigned numPropsMax)
        : _propIDs(new PROPID[numPropsMax]), _props(new NWindows::NCOM::CPropVariant[numPropsMax]), _numProps(0),
          _numPropsMax(numPropsMax) {}
    ~CCoderProps() {
        delete[] _propIDs;
        delete[] _props;
    }
    CCoderProps(const CCoderProps &) = delete;
    CCoderProps &operator=(const CCoderProps &) = delete;

    void AddProp(const CProp &prop);
    unsigned Size() const { return _numProps; }
    HRESULT SetProps(ICompressSetCoderProperties *setCoderProperties) const {
        return setCoderProperties->SetCoderProperties(_propIDs, _props, _numProps);
    }
};

// One archive option as typed: "x" and "9", "qs+" and nothing.
struct CProperty {
    UString Name;
    UString Value;
};

// Hands the options to a handler through ISetProperties; a handler without it ignores them.
HRESULT SetProperties(IUnknown *unknown, const CObjectVector<CProperty> &properties);
