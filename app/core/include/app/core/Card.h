#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

class QFont;

// What one card carries: the title line in the large font, when the job has one, and the
// text's lines in the printer's code page, wrapped as the window's memo shows them.
struct Card {
    std::optional<QString> title;
    std::vector<std::string> lines;
};

namespace card {

// The memo's face: bold Courier New at 11 pixels, hinted to whole-pixel advances. Installs the
// substitute for a station without the face (Liberation Mono, the same advance), so that the
// lines break where they do on screen whether or not a window exists.
QFont MemoFont();

// The width the memo's text is laid out in: its 322 pixels less its frame and its document's
// margin on both sides.
constexpr int kMemoTextWidth = 316;

// `text` as the memo wraps it at kMemoTextWidth: block by block (CR LF, LF and CR break
// lines), at word boundaries, or anywhere inside a word longer than a line. Blanks at a break
// stay at the end of their line; a text ending with a line break has no empty last line, and
// an empty text has no lines.
std::vector<std::string> WrapLines(const QString& text);

// A job's card: its text wrapped, under its title when it has one.
Card MakeCard(const std::optional<QString>& title, const QString& text);

} // namespace card
