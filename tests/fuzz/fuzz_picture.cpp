// Pictures from servers: the captcha, and the window's pictures judged from their first bytes.
#include "FuzzEnv.h"
#include "Picture.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnv::Init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const QSize largest(256, 256);
    const QSize shown(64, 32);
    const QImage image = Picture::Decode(bytes, largest, shown);
    if (!image.isNull() && (image.width() > shown.width() || image.height() > shown.height())) {
        __builtin_trap();
    }
    Picture::Check(bytes, largest);
    return 0;
}
