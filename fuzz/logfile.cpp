// The log-file loader: any bytes a file may hold become lines, and a file as this
// program writes it loads and saves back to the same bytes.

#include "fuzzcheck.h"

#include "logfile.h"
#include "logstore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = ui::decodeLog(bytes);
    for (const QString& line : lines)
        fuzz::check(!line.contains(u'\r') && !line.contains(u'\n'), "a line end inside a line", line);

    // Fed in two pieces cut anywhere, the same lines.
    const qsizetype cut = size > 0 ? data[0] % (static_cast<qsizetype>(size) + 1) : 0;
    ui::LogDecoder decoder;
    QStringList pieces;
    decoder.feed(bytes.first(cut), pieces);
    decoder.feed(bytes.sliced(cut), pieces);
    decoder.finish(pieces);
    fuzz::check(pieces == lines, "the lines depend on how the file was read");

    // Decoded straight into a pane's store, as "Открыть" loads, the same lines.
    ui::LogDecoder intoStore;
    ui::LogStore store;
    intoStore.feed(bytes.first(cut), store);
    intoStore.feed(bytes.sliced(cut), store);
    intoStore.finish(store);
    fuzz::check(store.lines() == lines, "a store loaded from the file holds other lines");

    // A file of CR LF lines whose every byte the code page maps saves back unchanged.
    qsizetype substituted = 0;
    const QByteArray again = ui::encodeLog(lines, &substituted);
    const bool crlfOnly = (size == 0 || bytes.endsWith("\r\n")) && bytes.count('\r') == bytes.count('\n')
        && !QByteArray(bytes.data(), bytes.size()).replace("\r\n", "").contains('\r')
        && !QByteArray(bytes.data(), bytes.size()).replace("\r\n", "").contains('\n');
    if (crlfOnly && substituted == 0)
        fuzz::check(again == bytes, "a valid log does not save back to its bytes");
    return 0;
}
