#pragma once
// The memory exchange as a machine of its own: fed the user's keys and clicks, the
// replies and the time-outs, it returns the frames it sent and what the panel must
// show. It reads and changes the panel's controls only through MemoryControls, so it
// runs without a window.

#include "memoryexchangestate.h"

#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace memory {

// What the exchange reads from the panel's controls, and what it may change there.
struct MemoryControls {
    // adressIR, adressEX, adressIM, adressIF
    std::array<QString, MemoryAreaCount> address{QString::fromLatin1(kMemoryAreas[AreaIR].defaultAddress),
                                                 QString::fromLatin1(kMemoryAreas[AreaER].defaultAddress),
                                                 QString::fromLatin1(kMemoryAreas[AreaIM].defaultAddress),
                                                 QString::fromLatin1(kMemoryAreas[AreaIF].defaultAddress)};
    // The texts of the bit and bit-value boxes; a box's item is the one whose text
    // it shows.
    QString bitIR = QStringLiteral("0");
    QString ZambIR = QStringLiteral("0");
    QString BitEx = QStringLiteral("0");
    QString ZamBEX = QStringLiteral("0");
    // The controller address box on the window's top row.
    QString kontroller = QStringLiteral("01");
};

// The line as the exchange sees it when an event comes.
struct LineStatus {
    bool busy = false; // a reply window runs
    bool open = true;  // the port is open
};

// What one event did.
struct MemoryOutput {
    // Frame texts the line took, in order; the line takes one per event at most.
    QStringList frames;
    // Lines for Memo1, the request log.
    QStringList requestLog;
    // Lines for Memo2, the exchange log (a frame the closed port did not take).
    QStringList exchangeLog;
    std::array<QStringList, MemoryAreaCount> paneLines;
    // New texts of the value fields.
    std::array<std::optional<QString>, MemoryAreaCount> values;
    // Caret positions for address fields whose request was built.
    std::array<std::optional<int>, MemoryAreaCount> carets;
};

class MemoryExchange {
public:
    const MemoryExchangeState& state() const { return state_; }

    // Any key pressed in an address field: abandons the chain under way, and with
    // Enter, Page Down or Page Up on an idle line builds the field's request.
    MemoryOutput keyDown(MemoryArea area, MemoryKey key, MemoryControls& controls, LineStatus line);
    // The bit-replacement buttons of IR and ER.
    MemoryOutput ZamenaBitIRClick(MemoryControls& controls, LineStatus line);
    MemoryOutput ZamenaBitEXClick(MemoryControls& controls, LineStatus line);
    // Emulation on and off; nothing while a reply is awaited.
    MemoryOutput VklEmulClick(MemoryControls& controls, LineStatus line);
    MemoryOutput viklEmulClick(MemoryControls& controls, LineStatus line);
    // The reply window ended with these bytes; none: the time-out.
    MemoryOutput replyWindowEnded(std::span<const std::uint8_t> reply, MemoryControls& controls, LineStatus line);

private:
    // One event under way: the controls it works on, what it did, and whether the
    // line still takes a frame (a send makes the line busy until its window ends).
    struct Event {
        MemoryControls& controls;
        MemoryOutput output;
        bool lineReady;
        bool lineOpen;
    };
    static Event begin(MemoryControls& controls, LineStatus line);

    bool send(Event& event, const QString& text);
    // Builds the request of an address field. An ER write first raises its guard,
    // unless the chain has just found the guard up.
    enum class ErGuard { Raise, Up };
    void chtandZap(Event& event, MemoryArea area, MemoryKey key, ErGuard guard = ErGuard::Raise);
    void readGuardByte(Event& event, ChainStep step);
    void sendPreamble(Event& event, MemoryArea area);

    void abandonChain(Event& event);
    void endChain(Event& event);
    void reportGuardLeftSet(Event& event);
    void guardSeenClear();
    // emulation: the replacement is the IR step of switching emulation on or off.
    void ZamenaBitIRPROC(Event& event, std::optional<bool> emulation = std::nullopt);
    void ZamenaBitEXPROC(Event& event);
    void switchEmulation(Event& event, bool on);
    void startEmulationErStep(Event& event, bool target);
    bool replaceIrBit(Event& event, BitChange change, std::uint8_t v, ChainStep afterWrite);
    void sendGuardedErWrite(Event& event, ChainStep next);
    void applyER(Event& event, BitChange change, std::uint8_t v);

    void acknowledged(Event& event);
    void areaReplied(Event& event, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    void readReplied(Event& event, MemoryArea area, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    void writeReplied(Event& event, MemoryArea area);
    void afterIrRead(Event& event, std::uint8_t value);
    void afterErRead(Event& event, std::uint8_t value);

    MemoryExchangeState state_;
};

// The item of a box whose items are "0", "1", ...: the one its text names, or -1.
int selectedItem(const QString& text, int itemCount);

} // namespace memory
