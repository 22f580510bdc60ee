// The extractor's standard output, cut into two pieces where the first byte says.
#include "Proc7zOp.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const size_t cut = 1 + data[0] % size;
    const QString first = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), int(cut - 1));
    const QString second = QString::fromUtf8(reinterpret_cast<const char*>(data + cut), int(size - cut));
    QString carry;
    for (const QString& piece : {first, second}) {
        const int percent = Proc7zOp::LatestPercent(carry, piece);
        if (percent < -1 || percent > 100) {
            __builtin_trap();
        }
    }
    return 0;
}
