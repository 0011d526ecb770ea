#include "coders/CopyCoder.h"

#include <string.h>

namespace NPlugin {

CCoderBase::EStep CCopyCoder::Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail,
                                   size_t &outUsed, bool finish) {
    const size_t n = inAvail < outAvail ? inAvail : outAvail;
    memcpy(out, in, n);
    inUsed = outUsed = n;
    return (finish && inAvail == 0) ? kStepEnd : kStepContinue;
}

} // namespace NPlugin
