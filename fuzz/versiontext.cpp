// The controller's version text in code page 866.

#include "fuzzcheck.h"

#include "versiontext.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> text(data, size);
    const QStringList lines = dispenser::versionTextLines(text);

    const auto lineEnds = std::count(text.begin(), text.end(), std::uint8_t('\n'));
    fuzz::check(lines.size() == lineEnds, "lines differ from the line ends");

    // One character a byte: nothing but CR, LF and leading blanks disappears.
    const auto lastEnd = std::find(text.rbegin(), text.rend(), std::uint8_t('\n'));
    const auto complete = text.first(std::size_t(text.rend() - lastEnd));
    const auto carriageReturns = std::count(complete.begin(), complete.end(), std::uint8_t('\r'));
    qsizetype shown = 0;
    for (const QString& line : lines) {
        shown += line.size();
        fuzz::check(!line.contains(u'\r') && !line.contains(u'\n'), "a line break inside a line", line);
        fuzz::check(line.isEmpty() || line.front().unicode() > u' ', "a line starts with a blank", line);
        // The double frame lines always show as ASCII strokes.
        for (char16_t frame : {u'║', u'═', u'╚', u'╔'})
            fuzz::check(!line.contains(QChar(frame)), "a double frame line was left in", line);
    }
    fuzz::check(shown <= qsizetype(complete.size()) - lineEnds - carriageReturns, "more characters than bytes");
    return 0;
}
