#pragma once

#include <QString>

// Text from outside (a server, a file on disk) made fit to show: without the control characters that
// would move or reorder what the user reads (line breaks in a one-line label, bidirectional overrides that
// turn "BG 0.01" into "10.0 GB"), and no longer than its place can lay out without freezing the window.
namespace ShownText {

// A version, a size, a name.
constexpr int kLineChars = 100;
// An error box.
constexpr int kMessageChars = 2000;
// A release note.
constexpr int kNoteChars = 64 * 1024;

// One line: line breaks and tabs become spaces.
QString Line(const QString& text, int maxChars = kLineChars);
// Several lines: line breaks and tabs stay. A text that is cut keeps its last line when that is short, so
// that a failure text keeps its error code.
QString Block(const QString& text, int maxChars);

} // namespace ShownText
