#pragma once

// A plug-in folder of the test's own: a fresh temporary folder named by TARNOVA_HOME_DIR, filled
// with copies of the probe libraries (or pointing at the real plug-in's output folder).
#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>

namespace tarnova_test_registry {

namespace fs = std::filesystem;

inline std::string ProbePath(const std::string &variant) {
    return std::string(TARNOVA_REGISTRY_PROBES_DIR) + "/registry_probe_" + variant + ".so";
}

// What the probes logged since the last Clear: "name:event;" entries in call order.
inline std::string ProbeLog() {
    const char *s = getenv("TARNOVA_PROBE_LOG");
    return s ? s : "";
}
inline void ClearProbeLog() {
    unsetenv("TARNOVA_PROBE_LOG");
}

class CPluginHome {
    std::string _dir;

public:
    CPluginHome() {
        std::string pattern = (fs::temp_directory_path() / "tarnova-registry-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        _dir = pattern;
        setenv("TARNOVA_HOME_DIR", (_dir + "/").c_str(), 1);
        ClearProbeLog();
    }
    ~CPluginHome() {
        unsetenv("TARNOVA_HOME_DIR");
        std::error_code ec;
        fs::remove_all(_dir, ec);
    }
    CPluginHome(const CPluginHome &) = delete;
    CPluginHome &operator=(const CPluginHome &) = delete;

    const std::string &Dir() const { return _dir; }

    // Puts a probe at a path relative to the folder ("7z.so", "Formats/x.so").
    std::string Put(const std::string &variant, const std::string &relPath) const {
        const fs::path dest = fs::path(_dir) / relPath;
        fs::create_directories(dest.parent_path());
        fs::copy_file(ProbePath(variant), dest, fs::copy_options::overwrite_existing);
        return dest.string();
    }
    void PutText(const std::string &relPath, const std::string &text) const {
        const fs::path dest = fs::path(_dir) / relPath;
        fs::create_directories(dest.parent_path());
        FILE *f = fopen(dest.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
};

// Streams over a std::string, for running coders.
class CStringInStream : public ISequentialInStream, public CMyUnknownImp {
    std::string _data;
    size_t _pos = 0;

public:
    explicit CStringInStream(const std::string &data) : _data(data) {}
    COM_UNKNOWN_IMP(ISequentialInStream)
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        size_t n = _data.size() - _pos;
        if (n > size) n = size;
        memcpy(data, _data.data() + _pos, n);
        _pos += n;
        if (processedSize) *processedSize = (UInt32)n;
        return S_OK;
    }
};

class CStringOutStream : public ISequentialOutStream, public CMyUnknownImp {
public:
    std::string Data;
    COM_UNKNOWN_IMP(ISequentialOutStream)
    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override {
        Data.append(static_cast<const char *>(data), size);
        if (processedSize) *processedSize = size;
        return S_OK;
    }
};

// The folder of the real plug-in, or empty when the test environment does not name one.
inline std::string RealPluginDir() {
    const char *s = getenv("TARNOVA_TEST_OUTPUT_DIR");
    if (!s || !*s) return "";
    return s;
}

// TARNOVA_HOME_DIR names the real plug-in's folder while this lives.
class CRealPluginHome {
public:
    CRealPluginHome() {
        setenv("TARNOVA_HOME_DIR", (RealPluginDir() + "/").c_str(), 1);
        ClearProbeLog();
    }
    ~CRealPluginHome() { unsetenv("TARNOVA_HOME_DIR"); }
    CRealPluginHome(const CRealPluginHome &) = delete;
    CRealPluginHome &operator=(const CRealPluginHome &) = delete;

    static bool Exists() { return !RealPluginDir().empty() && fs::exists(RealPluginDir() + "/7z.so"); }
};

inline std::string RunCoder(ICompressCoder *coder, const std::string &input) {
    CStringInStream *inSpec = new CStringInStream(input);
    CMyComPtr<ISequentialInStream> in = inSpec;
    CStringOutStream *outSpec = new CStringOutStream;
    CMyComPtr<ISequentialOutStream> out = outSpec;
    const HRESULT res = coder->Code(in, out, nullptr, nullptr, nullptr);
    EXPECT_EQ(res, S_OK);
    return outSpec->Data;
}

} // namespace tarnova_test_registry
