#pragma once

// Encodes one folder of a 7z archive: the data of its items goes in, the packed stream comes out
// into a sink; Finish describes the folder's coders and sizes for the header. Coders: Copy, LZMA,
// LZMA2 (in parallel blocks with several threads), BZip2, Deflate, and AES-256 on top.
#include "sevenzip/SevenZipDatabase.h"
#include "sevenzip/SevenZipKey.h"
#include "WriteProps.h"

#include <lzma.h>
#include <memory>
#include <vector>

namespace NPlugin {

// Where encoded bytes go.
class CSevenZipSink {
public:
    virtual ~CSevenZipSink() {}
    virtual HRESULT Write(const Byte *data, size_t size) = 0;
    virtual HRESULT Finish() = 0;
};

// Told on the writing thread how far the coding has come. coded: input bytes compressed since the
// last call; written: input bytes whose packed form has gone out since the last call. A result other
// than S_OK ends the run; a call that blocks (a paused run) holds every coding thread.
class CEncodeProgress {
public:
    virtual ~CEncodeProgress() {}
    // coded: input bytes coded since the last call; written: input bytes whose coded form has gone
    // out since the last call. aheadIn, aheadOut: input coded whose output has not gone out yet, and
    // the output made of it so far (a parallel coder's blocks in flight), so that the sizes shown
    // move before the first block is written.
    virtual HRESULT EncodeProgress(UInt64 coded, UInt64 written, UInt64 aheadIn = 0, UInt64 aheadOut = 0) = 0;
};

struct CSevenZipMethod {
    EWriteMethod method = EWriteMethod::kLzma2;
    int level = 5;
    UInt64 dictionary = 0; // 0: the level's
    UInt32 threads = 1;
    UInt64 expectedSize = 0; // input bytes the folder will likely get, 0: unknown; sizes parallel blocks
    bool encrypt = false;
    Byte key[32] = {};
    CSevenZipAesProps aes; // salt and IV (random for each folder) and rounds
};

class CSevenZipEncoder {
    std::vector<std::unique_ptr<CSevenZipSink>> _stages; // outermost (first to get the data) first
    CSevenZipSink *_top = nullptr;
    UInt64 _inSize = 0;
    const UInt64 *_codedSize = nullptr; // what the compressing coder gave, counted on its way out
    NSevenZip::CCoder _main;
    NSevenZip::CCoder _aes;
    bool _encrypt = false;
    CEncodeProgress *_progress = nullptr;
    bool _parallel = false; // the coding stage reports its own progress

public:
    ~CSevenZipEncoder();
    // sink: receives the packed stream and is not owned; progress (optional) hears of coded bytes.
    HRESULT Init(const CSevenZipMethod &method, CSevenZipSink *sink, CEncodeProgress *progress = nullptr);
    HRESULT Write(const Byte *data, size_t size);
    // Ends the data; folder gets the coders, bind pairs, packed stream and unpack sizes.
    HRESULT Finish(NSevenZip::CFolder &folder);
};

// The liblzma options of a level and dictionary (0: the level's).
bool LzmaOptionsFor(int level, UInt64 dictionary, lzma_options_lzma &options);

} // namespace NPlugin
