// The clip reader on arbitrary bytes: it may refuse them, but must never
// crash, read out of bounds or hang, and what it accepts must be consistent.
#include "AviReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto clip =
        AviReader::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (clip) {
        if (clip->frames.isEmpty())
            std::abort();
        const QSize first = clip->frames.first().size();
        for (const QImage &frame : clip->frames) {
            if (frame.size() != first || frame.isNull())
                std::abort();
        }
    }
    return 0;
}
