// The memory exchange machine fed a sequence of events: keys, clicks, replies and
// time-outs, each picked by one byte. The line is modelled as the program has it: a
// frame makes it busy until the window ends with a reply or a time-out.

#include "fuzzcheck.h"

#include "frametext.h"
#include "memoryexchange.h"

namespace {

bool frameTextToBytesFits(const QString& text)
{
    for (const QString& piece : text.split(u'*', Qt::SkipEmptyParts))
        if (!transport::frameTextToBytes(piece))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    memory::MemoryExchange exchange;
    memory::MemoryControls controls;
    memory::LineStatus line;
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };

    while (at < size) {
        const std::uint8_t op = next();
        memory::MemoryOutput out;
        const bool wasBusy = line.busy;
        switch (op % 8) {
        case 0: {
            const auto area = static_cast<memory::MemoryArea>(next() % memory::MemoryAreaCount);
            const std::uint8_t length = next() % 12;
            QString text;
            for (std::uint8_t i = 0; i < length; ++i)
                text += QChar(u"0123456789ABCDEFaz \x0444"[next() % 20]);
            controls.address[area] = text;
            out = exchange.keyDown(area, static_cast<memory::MemoryKey>(next() % 4), controls, line);
            break;
        }
        case 1:
            controls.bitIR = QString::number(next() % 10);
            controls.ZambIR = QString::number(next() % 3);
            out = exchange.ZamenaBitIRClick(controls, line);
            break;
        case 2:
            controls.BitEx = QString::number(next() % 10);
            controls.ZamBEX = QString::number(next() % 3);
            out = exchange.ZamenaBitEXClick(controls, line);
            break;
        case 3:
            out = exchange.VklEmulClick(controls, line);
            break;
        case 4:
            out = exchange.viklEmulClick(controls, line);
            break;
        case 5:
        case 6: {
            if (!line.busy)
                continue; // bytes come only at the end of a window the line opened
            const std::uint8_t length = next() % 5;
            std::uint8_t reply[4];
            for (std::uint8_t i = 0; i < length; ++i)
                reply[i] = next();
            line.busy = false;
            out = exchange.replyWindowEnded(std::span(reply, length), controls, line);
            break;
        }
        case 7:
            line.open = !line.open;
            continue;
        }
        fuzz::check(out.frames.size() <= 1, "more than one frame for one event", out.frames.join(u'|'));
        if (wasBusy && op % 8 < 5)
            fuzz::check(out.frames.isEmpty(), "a frame sent while a reply was awaited", out.frames.join(u'|'));
        for (const QString& frame : out.frames) {
            fuzz::check(line.open, "a frame sent on a closed port", frame);
            fuzz::check(frameTextToBytesFits(frame), "a frame over the buffer", frame);
        }
        if (!out.frames.isEmpty())
            line.busy = true;
    }
    return 0;
}
