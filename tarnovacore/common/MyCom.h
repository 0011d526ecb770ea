#pragma once

// Reference-holding pointer, reference-count base and the QueryInterface/AddRef/Release helpers of
// the COM-style object model. Header-only and self-contained (standard headers only),
// so the plug-in may use it as well.
#include "InterfaceIds.h"
#include "MyUnknown.h"
#include "MyWindows.h"

#include <atomic>
#include <memory>

// CMyComPtr<T>: holds one reference to a T, or null.
template <class T> class CMyComPtr {
    T *_p;

public:
    CMyComPtr() : _p(nullptr) {}
    CMyComPtr(T *p) : _p(p) {
        if (p) p->AddRef();
    }
    CMyComPtr(const CMyComPtr<T> &other) : _p(other._p) {
        if (_p) _p->AddRef();
    }
    CMyComPtr(CMyComPtr<T> &&other) noexcept : _p(other._p) { other._p = nullptr; }
    ~CMyComPtr() {
        if (_p) _p->Release();
    }

    // Drops the held reference, if any.
    void Release() {
        if (_p) {
            T *p = _p;
            _p = nullptr;
            p->Release();
        }
    }

    operator T *() const { return _p; }
    T *operator->() const { return _p; }
    bool operator!() const { return _p == nullptr; }

    // For out-parameters: the callee stores a pointer that already carries its reference. The held
    // pointer is not released here, so only take the address of an empty holder.
    T **operator&() { return &_p; }

    CMyComPtr<T> &operator=(T *p) {
        if (p) p->AddRef();
        T *old = _p;
        _p = p;
        if (old) old->Release();
        return *this;
    }
    CMyComPtr<T> &operator=(const CMyComPtr<T> &other) { return *this = other._p; }
    CMyComPtr<T> &operator=(CMyComPtr<T> &&other) noexcept {
        if (this != std::addressof(other)) {
            T *old = _p;
            _p = other._p;
            other._p = nullptr;
            if (old) old->Release();
        }
        return *this;
    }

    // Takes over a pointer whose reference the caller owns (no AddRef).
    void Attach(T *p) {
        Release();
        _p = p;
    }
    // Gives the held reference away (no Release).
    T *Detach() {
        T *p = _p;
        _p = nullptr;
        return p;
    }

    // Asks the held object for another interface; with an empty holder the answer is E_NOINTERFACE.
    template <class Q> HRESULT QueryInterface(REFGUID iid, Q **pp) const {
        if (!_p) {
            *pp = nullptr;
            return E_NOINTERFACE;
        }
        return _p->QueryInterface(iid, reinterpret_cast<void **>(pp));
    }
};

// CMyComBSTR: owns one BSTR and frees it with SysFreeString.
class CMyComBSTR {
    BSTR _s;

public:
    CMyComBSTR() : _s(nullptr) {}
    explicit CMyComBSTR(const OLECHAR *text) : _s(::SysAllocString(text)) {}
    CMyComBSTR(const CMyComBSTR &other) : _s(other.MyCopy()) {}
    CMyComBSTR(CMyComBSTR &&other) noexcept : _s(other._s) { other._s = nullptr; }
    ~CMyComBSTR() { ::SysFreeString(_s); }
    CMyComBSTR &operator=(const CMyComBSTR &other) {
        if (this != std::addressof(other)) {
            BSTR copy = other.MyCopy();
            ::SysFreeString(_s);
            _s = copy;
        }
        return *this;
    }
    CMyComBSTR &operator=(CMyComBSTR &&other) noexcept {
        if (this != std::addressof(other)) {
            ::SysFreeString(_s);
            _s = other._s;
            other._s = nullptr;
        }
        return *this;
    }

    // For out-parameters; only take the address of an empty holder.
    BSTR *operator&() { return &_s; }
    operator LPCOLESTR() const { return _s; }
    BSTR Get() const { return _s; }
    unsigned Len() const { return ::SysStringLen(_s); }
    // A new BSTR of the same byte length (null for a null string or when memory is exhausted).
    BSTR MyCopy() const {
        if (!_s) return nullptr;
        return ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(_s), ::SysStringByteLen(_s));
    }
    void Empty() {
        ::SysFreeString(_s);
        _s = nullptr;
    }
    BSTR Detach() {
        BSTR s = _s;
        _s = nullptr;
        return s;
    }
};

// The reference count of a COM-style class: derive from the interfaces first, in a fixed order, and
// from this last. Non-polymorphic; starts at 0, the creator takes the first reference. The count is
// atomic because callbacks may arrive from the plug-in's coder threads; that changes no layout seen
// by the plug-in (it never looks inside our objects).
class CMyUnknownImp {
public:
    std::atomic<UInt32> _m_RefCount;
    CMyUnknownImp() : _m_RefCount(0) {}
    // A copy is a new object: it starts without references.
    CMyUnknownImp(const CMyUnknownImp &) : _m_RefCount(0) {}
    CMyUnknownImp &operator=(const CMyUnknownImp &) { return *this; }
};

// QueryInterface in pieces, for classes whose answers are not a plain list:
//   COM_QI_BEGIN  COM_QI_ENTRY_UNKNOWN(I1)  COM_QI_ENTRY(I1) ... COM_QI_END
// Ids are compared in the order written: IUnknown first, then the class's interfaces.
#define COM_QI_BEGIN                                                                                                   \
    HRESULT QueryInterface(REFGUID iid, void **outObject) override {                                                   \
        *outObject = nullptr;                                                                                          \
        if (false) {                                                                                                   \
        }

#define COM_QI_ENTRY_UNKNOWN(i)                                                                                        \
    else if (iid == IID_IUnknown) {                                                                                    \
        *outObject = static_cast<void *>(static_cast<IUnknown *>(static_cast<i *>(this)));                             \
    }

#define COM_QI_ENTRY(i)                                                                                                \
    else if (iid == IID_##i) {                                                                                         \
        *outObject = static_cast<void *>(static_cast<i *>(this));                                                      \
    }

#define COM_QI_END                                                                                                     \
    else return E_NOINTERFACE;                                                                                         \
    ++_m_RefCount;                                                                                                     \
    return S_OK;                                                                                                       \
    }

#define COM_ADDREF_RELEASE                                                                                             \
    ULONG AddRef() override {                                                                                          \
        return ++_m_RefCount;                                                                                          \
    }                                                                                                                  \
    ULONG Release() override {                                                                                         \
        const ULONG n = --_m_RefCount;                                                                                 \
        if (n != 0) return n;                                                                                          \
        delete this;                                                                                                   \
        return 0;                                                                                                      \
    }

// Entries for 1 to 16 interfaces.
#define COM_PP_EXPAND(x) x
#define COM_PP_FIRST(...) COM_PP_EXPAND(COM_PP_FIRST_(__VA_ARGS__, unused))
#define COM_PP_FIRST_(a, ...) a
#define COM_PP_COUNT(...)                                                                                              \
    COM_PP_EXPAND(COM_PP_COUNT_(__VA_ARGS__, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0))
#define COM_PP_COUNT_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, n, ...) n
#define COM_PP_CAT(a, b) COM_PP_CAT_(a, b)
#define COM_PP_CAT_(a, b) a##b

#define COM_QI_ENTRIES_1(a) COM_QI_ENTRY(a)
#define COM_QI_ENTRIES_2(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_1(__VA_ARGS__))
#define COM_QI_ENTRIES_3(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_2(__VA_ARGS__))
#define COM_QI_ENTRIES_4(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_3(__VA_ARGS__))
#define COM_QI_ENTRIES_5(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_4(__VA_ARGS__))
#define COM_QI_ENTRIES_6(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_5(__VA_ARGS__))
#define COM_QI_ENTRIES_7(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_6(__VA_ARGS__))
#define COM_QI_ENTRIES_8(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_7(__VA_ARGS__))
#define COM_QI_ENTRIES_9(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_8(__VA_ARGS__))
#define COM_QI_ENTRIES_10(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_9(__VA_ARGS__))
#define COM_QI_ENTRIES_11(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_10(__VA_ARGS__))
#define COM_QI_ENTRIES_12(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_11(__VA_ARGS__))
#define COM_QI_ENTRIES_13(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_12(__VA_ARGS__))
#define COM_QI_ENTRIES_14(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_13(__VA_ARGS__))
#define COM_QI_ENTRIES_15(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_14(__VA_ARGS__))
#define COM_QI_ENTRIES_16(a, ...) COM_QI_ENTRY(a) COM_PP_EXPAND(COM_QI_ENTRIES_15(__VA_ARGS__))
#define COM_QI_ENTRIES(...) COM_PP_EXPAND(COM_PP_CAT(COM_QI_ENTRIES_, COM_PP_COUNT(__VA_ARGS__))(__VA_ARGS__))

// COM_UNKNOWN_IMP(I1, I2, ...): QueryInterface answers IUnknown with the I1 part and each listed
// interface with its own part, in the order given; AddRef/Release on the CMyUnknownImp count.
#define COM_UNKNOWN_IMP(...)                                                                                           \
    COM_QI_BEGIN                                                                                                       \
    COM_QI_ENTRY_UNKNOWN(COM_PP_FIRST(__VA_ARGS__))                                                                    \
    COM_QI_ENTRIES(__VA_ARGS__)                                                                                        \
    COM_QI_END                                                                                                         \
    COM_ADDREF_RELEASE

// COM_UNKNOWN_IMP_0(I1): answers IUnknown only (with the I1 part), not even I1 itself.
#define COM_UNKNOWN_IMP_0(i)                                                                                           \
    COM_QI_BEGIN                                                                                                       \
    COM_QI_ENTRY_UNKNOWN(i)                                                                                            \
    COM_QI_END                                                                                                         \
    COM_ADDREF_RELEASE

// Exceptions at interface boundaries: an 8-bit text passes through to the thread or operation that
// started the work; anything else becomes E_OUTOFMEMORY.
//   HRESULT Foo() override { COM_TRY_BEGIN ... return S_OK; COM_TRY_END }
#define COM_TRY_BEGIN try {
#define COM_TRY_END                                                                                                    \
    }                                                                                                                  \
    catch (const char *) {                                                                                             \
        throw;                                                                                                         \
    }                                                                                                                  \
    catch (...) {                                                                                                      \
        return E_OUTOFMEMORY;                                                                                          \
    }

// The same as a function, for lambdas: return ComCallGuarded([&] { ...; return S_OK; });
template <class F> inline HRESULT ComCallGuarded(F &&f) {
    COM_TRY_BEGIN
    return f();
    COM_TRY_END
}
