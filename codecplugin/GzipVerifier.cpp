#include "GzipVerifier.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <string.h>
#include <vector>
#include <zlib.h>

namespace NPlugin {

namespace {
using namespace NArchive::NExtract;

const size_t kInSize = 1 << 16;
const size_t kOutSize = 1 << 18;
const UInt64 kProgressStep = 1 << 24;

struct CInflater {
    z_stream z;
    bool active = false;
    CInflater() { memset(&z, 0, sizeof(z)); }
    ~CInflater() {
        if (active) inflateEnd(&z);
    }
};
} // namespace

HRESULT CGzipVerifier::Verify(IInStream *stream, IArchiveOpenCallback *progress, Int32 &result, UInt64 &unpackSize) {
    result = NOperationResult::kOK;
    unpackSize = 0;
    RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    std::vector<Byte> in(kInSize), out(kOutSize);
    CInflater inf;
    if (inflateInit2(&inf.z, 16 + MAX_WBITS) != Z_OK) return E_OUTOFMEMORY;
    inf.active = true;
    size_t inPos = 0, inLen = 0;
    bool inputEnded = false;
    UInt64 consumed = 0, nextReport = kProgressStep;

    // Keeps at least `need` unread bytes in the buffer unless the input ends first.
    auto fill = [&](size_t need) -> HRESULT {
        if (inLen - inPos >= need || inputEnded) return S_OK;
        memmove(in.data(), in.data() + inPos, inLen - inPos);
        inLen -= inPos;
        inPos = 0;
        while (inLen < need && !inputEnded) {
            size_t got = 0;
            RINOK_PLUGIN(ReadStreamMax(stream, in.data() + inLen, in.size() - inLen, got));
            if (got == 0) inputEnded = true;
            inLen += got;
        }
        return S_OK;
    };

    for (;;) {
        RINOK_PLUGIN(fill(1));
        inf.z.next_in = in.data() + inPos;
        inf.z.avail_in = static_cast<uInt>(inLen - inPos);
        inf.z.next_out = out.data();
        inf.z.avail_out = static_cast<uInt>(out.size());
        const int r = inflate(&inf.z, Z_NO_FLUSH);
        const size_t used = (inLen - inPos) - inf.z.avail_in;
        inPos += used;
        consumed += used;
        unpackSize += out.size() - inf.z.avail_out;
        if (progress && consumed >= nextReport) {
            nextReport = consumed + kProgressStep;
            RINOK_PLUGIN(progress->SetCompleted(nullptr, &consumed));
        }
        if (r == Z_STREAM_END) {
            RINOK_PLUGIN(fill(2));
            if (inLen - inPos < 2 || in[inPos] != 0x1F || in[inPos + 1] != 0x8B) return S_OK;
            if (inflateReset(&inf.z) != Z_OK) return E_FAIL;
            continue;
        }
        if (r == Z_OK) continue;
        if (r == Z_BUF_ERROR && inLen == inPos) {
            if (!inputEnded) continue;
            result = NOperationResult::kUnexpectedEnd;
            return S_OK;
        }
        if (r == Z_MEM_ERROR) return E_OUTOFMEMORY;
        const char *msg = inf.z.msg ? inf.z.msg : "";
        result =
            strstr(msg, "check") && !strstr(msg, "header") ? NOperationResult::kCRCError : NOperationResult::kDataError;
        return S_OK;
    }
}

} // namespace NPlugin
