// Release notes as the notes dialog shows them: the text for the language, then fitted to its place.
#include "FuzzEnv.h"
#include "NotesOp.h"
#include "ShownText.h"

namespace {

constexpr int kMaxChars = 64;

// Within its place, and nothing in it that moves or reorders the text around it.
void CheckShown(const QString& shown, bool keepsBreaks)
{
    if (shown.size() > kMaxChars) {
        __builtin_trap();
    }
    for (const QChar c : shown) {
        const bool isBreak = c == QLatin1Char('\n') || c == QLatin1Char('\t');
        if ((isBreak && !keepsBreaks) || (c.category() == QChar::Other_Control && !isBreak) ||
            (c.unicode() >= 0x202A && c.unicode() <= 0x202E)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnv::Init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    for (const QString& text :
         {NotesOp::JsonNoteText(bytes, QStringLiteral("zh-CN")), QString::fromUtf8(bytes)}) {
        CheckShown(ShownText::Block(text, kMaxChars), true);
        CheckShown(ShownText::Line(text, kMaxChars), false);
    }
    return 0;
}
