// The plug-in's exported entry points. Everything else stays inside the module (hidden visibility
// and the export list in exports.map).
#include "FormatTable.h"
#include "coders/Hashers.h"
#include "MethodTable.h"
#include "PluginGlobals.h"
#include "Utf8Locale.h"
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "common/MyCom.h"

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

using namespace NPlugin;

extern "C" {
__attribute__((visibility("default"))) int global_use_utf16_conversion = 1;
__attribute__((visibility("default"))) int global_use_lstat = 1;
}

namespace {
bool g_caseSensitive = true;
}

// Called once by the loader after it copied the two settings: prepares the name locale early.
PLUGIN_EXPORT void sync_TestConstructor() {
    CUtf8LocaleScope scope;
}

PLUGIN_EXPORT HRESULT CreateObject(const GUID *clsID, const GUID *iid, void **outObject) {
    if (!clsID || !iid || !outObject) return E_INVALIDARG;
    *outObject = nullptr;
    HRESULT res = CreateFormatHandler(*clsID, *iid, outObject);
    if (res != CLASS_E_CLASSNOTAVAILABLE) return res;
    return CreateCoderByClassId(*clsID, *iid, outObject);
}

PLUGIN_EXPORT HRESULT GetNumberOfFormats(UInt32 *numFormats) {
    *numFormats = GetNumFormats();
    return S_OK;
}

PLUGIN_EXPORT HRESULT GetHandlerProperty2(UInt32 formatIndex, PROPID propID, PROPVARIANT *value) {
    return GetFormatProperty(formatIndex, propID, value);
}

PLUGIN_EXPORT HRESULT GetIsArc(UInt32 formatIndex, Func_IsArc *isArc) {
    return GetFormatIsArc(formatIndex, isArc);
}

PLUGIN_EXPORT HRESULT GetNumberOfMethods(UInt32 *numMethods) {
    *numMethods = NPlugin::GetNumMethods();
    return S_OK;
}

PLUGIN_EXPORT HRESULT GetMethodProperty(UInt32 codecIndex, PROPID propID, PROPVARIANT *value) {
    return NPlugin::GetMethodProperty(codecIndex, propID, value);
}

PLUGIN_EXPORT HRESULT CreateDecoder(UInt32 codecIndex, const GUID *iid, void **outObject) {
    return CreateMethodCoder(codecIndex, false, *iid, outObject);
}

PLUGIN_EXPORT HRESULT CreateEncoder(UInt32 codecIndex, const GUID *iid, void **outObject) {
    return CreateMethodCoder(codecIndex, true, *iid, outObject);
}

PLUGIN_EXPORT HRESULT GetHashers(IHashers **hashers) {
    COM_TRY_BEGIN
    CMyComPtr<IHashers> h = new CHashers;
    *hashers = h.Detach();
    return S_OK;
    COM_TRY_END
}

// Large pages change nothing for the libraries underneath.
PLUGIN_EXPORT HRESULT SetLargePageMode() {
    return S_OK;
}

PLUGIN_EXPORT HRESULT SetCaseSensitive(Int32 caseSensitive) {
    g_caseSensitive = caseSensitive != 0;
    return S_OK;
}
