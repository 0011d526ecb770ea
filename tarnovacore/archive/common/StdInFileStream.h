#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// Standard input as a stream.
class CStdInFileStream : public ISequentialInStream, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP_0(ISequentialInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
};
