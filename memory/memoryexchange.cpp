#include "memoryexchange.h"

#include "addressfield.h"
#include "controlleraddress.h"
#include "frametext.h"
#include "memoryframes.h"

namespace memory {

namespace {

constexpr int kBitItems = 8;
constexpr int kBitValueItems = 2;

// A bit-value box: "1" sets the target, "0" clears it, anything else leaves it.
void takeBitTarget(const QString& text, bool& target)
{
    const int item = selectedItem(text, kBitValueItems);
    if (item >= 0)
        target = item == 1;
}

QString writeFieldText(const QString& address, std::uint8_t value)
{
    return address + u' ' + transport::hexByte(value);
}

} // namespace

int selectedItem(const QString& text, int itemCount)
{
    if (text.size() != 1)
        return -1;
    const int item = text.front().unicode() - u'0';
    return item >= 0 && item < itemCount ? item : -1;
}

MemoryExchange::Event MemoryExchange::begin(MemoryControls& controls, LineStatus line)
{
    return Event{controls, {}, !line.busy && line.open};
}

bool MemoryExchange::send(Event& event, const QString& text)
{
    if (!event.lineReady)
        return false;
    event.output.frames << text;
    event.lineReady = false;
    return true;
}

// ---- requests from the address fields ----

MemoryOutput MemoryExchange::keyDown(MemoryArea area, MemoryKey key, MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    // Any key is a new start by the user: the old chain, an ER bit replacement
    // waiting for its read included, is given up.
    abandonChain(event);
    if (line.busy || key == MemoryKey::Other)
        return event.output;
    chtandZap(event, area, key);
    return event.output;
}

void MemoryExchange::chtandZap(Event& event, MemoryArea area, MemoryKey key)
{
    const AddressFieldRequest request = parseAddressField(event.controls.address[area], key);
    switch (request.kind) {
    case AddressFieldRequest::Refused:
        return;
    case AddressFieldRequest::TwoBlanks:
        state_.areaRequest[area].clear();
        // The IF field reports it in the IR pane.
        if (area == AreaIF)
            event.output.paneLines[AreaIR] << kTwoBlanks;
        return;
    case AddressFieldRequest::Write:
        if (area == AreaER && !guardErWrite(event))
            return;
        state_.writeAddress[area] = request.address;
        state_.areaRequest[area] = areaRequestText(writeCode(area), request.address, request.value);
        setOnlyPending(area, true);
        break;
    case AddressFieldRequest::Read:
        state_.areaRequest[area] = areaRequestText(readCode(area), request.address, QStringLiteral("00"));
        setOnlyPending(area, false);
        break;
    }
    event.controls.address[area] = request.fieldText;
    event.output.carets[area] = request.caret;
    sendPreamble(event, area);
}

// Sets or clears the ER write guard, bit 3 of IR 000024, by an IR bit replacement;
// while it is being set, the ER write waits for it.
void MemoryExchange::replaceGuardBit(Event& event, bool set)
{
    event.controls.address[AreaIR] = kErGuardAddress;
    state_.writeAddress[AreaIR] = kErGuardAddress;
    state_.bitReplaceIR = true;
    state_.bitIndex = kErGuardBit;
    state_.bitTarget = set;
    state_.erWriteUnlocking = set;
    chtandZap(event, AreaIR, MemoryKey::Enter);
}

// Every ER write is bracketed by bit 3 of IR 000024: the first call sets the bit
// through an IR bit replacement and returns false; the chain calls again once the
// bit is 1, and the write goes ahead.
bool MemoryExchange::guardErWrite(Event& event)
{
    if (state_.erWriteUnlocking) {
        state_.erWriteUnlocking = false;
        return true;
    }
    replaceGuardBit(event, true);
    return false;
}

void MemoryExchange::setOnlyPending(MemoryArea area, bool write)
{
    state_.readPending.fill(false);
    state_.writePending.fill(false);
    (write ? state_.writePending : state_.readPending)[area] = true;
}

void MemoryExchange::sendPreamble(Event& event, MemoryArea area)
{
    const std::optional<QString> address = transport::frameAddressText(event.controls.kontroller);
    if (!address) {
        event.output.requestLog << transport::badAddressLine(event.controls.kontroller);
        return;
    }
    state_.preambleText = preambleText(*address);
    if (area == AreaIR)
        event.output.requestLog << state_.preambleText;
    if (send(event, state_.preambleText))
        state_.phase = ExchangePhase::AwaitingAck;
}

// ---- bit replacement and emulation ----

void MemoryExchange::abandonChain(Event& event)
{
    reportGuardLeftSet(event);
    MemoryExchangeState& s = state_;
    s.readPending.fill(false);
    s.writePending.fill(false);
    s.emulationOnRequested = s.emulationOnErStep = s.emulationOffRequested = s.emulationOffErStep = false;
    s.erWriteUnlocking = s.erWriteResume = false;
    s.bitReplaceIR = s.bitReplaceER = false;
}

MemoryOutput MemoryExchange::ZamenaBitIRClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    abandonChain(event);
    state_.bitTarget = false;
    ZamenaBitIRPROC(event);
    return event.output;
}

MemoryOutput MemoryExchange::ZamenaBitEXClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    // A chain left by a missing reply could otherwise let this replacement's ER
    // write out without the guard bit.
    abandonChain(event);
    state_.bitTarget = false;
    ZamenaBitEXPROC(event);
    return event.output;
}

void MemoryExchange::ZamenaBitIRPROC(Event& event)
{
    const QString address = adressyach(event.controls.address[AreaIR]);
    if (address == kUnusableAddress)
        return;
    const int bit = selectedItem(event.controls.bitIR, kBitItems);
    if (bit < 0) {
        event.output.paneLines[AreaIR] << badBitNumberLine(event.controls.bitIR);
        return;
    }
    event.controls.address[AreaIR] = address;
    state_.writeAddress[AreaIR] = address;
    state_.bitReplaceIR = true;
    state_.bitIndex = bit;
    chtandZap(event, AreaIR, MemoryKey::Enter);
    takeBitTarget(event.controls.ZambIR, state_.bitTarget);
}

void MemoryExchange::ZamenaBitEXPROC(Event& event)
{
    const QString address = adressyach(event.controls.address[AreaER]);
    event.controls.address[AreaER] = address;
    if (address == kUnusableAddress)
        return;
    const int bit = selectedItem(event.controls.BitEx, kBitItems);
    if (bit < 0) {
        event.output.paneLines[AreaER] << badBitNumberLine(event.controls.BitEx);
        return;
    }
    state_.writeAddress[AreaER] = address;
    state_.bitReplaceER = true;
    state_.bitIndex = bit;
    chtandZap(event, AreaER, MemoryKey::Enter);
    takeBitTarget(event.controls.ZamBEX, state_.bitTarget);
}

MemoryOutput MemoryExchange::VklEmulClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    if (!line.busy)
        switchEmulation(event, true);
    return event.output;
}

MemoryOutput MemoryExchange::viklEmulClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    if (!line.busy)
        switchEmulation(event, false);
    return event.output;
}

// Bit 6 of IR 000024, then bit 7 of ER 010041.
void MemoryExchange::switchEmulation(Event& event, bool on)
{
    abandonChain(event);
    event.controls.address[AreaIR] = kEmulationIrAddress;
    event.controls.bitIR = QString::number(kEmulationIrBit);
    event.controls.ZambIR = on ? QStringLiteral("1") : QStringLiteral("0");
    (on ? state_.emulationOnRequested : state_.emulationOffRequested) = true;
    ZamenaBitIRPROC(event);
}

void MemoryExchange::startEmulationErStep(Event& event, bool target)
{
    event.controls.address[AreaER] = kEmulationErAddress;
    event.controls.BitEx = QString::number(kEmulationErBit);
    event.controls.ZamBEX = target ? QStringLiteral("1") : QStringLiteral("0");
    ZamenaBitEXPROC(event);
}

void MemoryExchange::applyIR(Event& event, std::uint8_t v)
{
    MemoryExchangeState& s = state_;
    const std::uint8_t n = zambitchten(v, s.bitIndex);
    if (s.emulationOnRequested) {
        s.emulationOnRequested = false;
        s.emulationOnErStep = true;
    }
    if (s.emulationOffRequested) {
        s.emulationOffRequested = false;
        s.emulationOffErStep = true;
    }
    const bool bitIsSet = n == v;
    s.bitReplaceIR = false;
    if (bitIsSet != s.bitTarget) {
        const std::uint8_t written = s.bitTarget ? n : zambitchten2(v, s.bitIndex);
        event.controls.address[AreaIR] = writeFieldText(s.writeAddress[AreaIR], written);
        chtandZap(event, AreaIR, MemoryKey::Enter);
        if (s.bitTarget && s.erWriteUnlocking)
            s.erWriteResume = true;
        return;
    }
    event.output.paneLines[AreaIR] << kBitAlreadySet;
    if (s.bitTarget) {
        if (s.emulationOnErStep) {
            s.emulationOnErStep = false;
            startEmulationErStep(event, true);
        } else if (s.erWriteUnlocking) {
            // The guard bit is already 1: the ER write goes out now and the bit stays.
            chtandZap(event, AreaER, MemoryKey::Enter);
        }
    } else if (s.emulationOffErStep) {
        s.emulationOffErStep = false;
        startEmulationErStep(event, false);
    }
}

void MemoryExchange::applyER(Event& event, std::uint8_t v)
{
    MemoryExchangeState& s = state_;
    s.bitReplaceER = false;
    // The ER boxes are read again now: the user may have changed them meanwhile.
    const int bit = selectedItem(event.controls.BitEx, kBitItems);
    if (bit < 0) {
        event.output.paneLines[AreaER] << badBitNumberLine(event.controls.BitEx);
        return;
    }
    s.bitIndex = bit;
    takeBitTarget(event.controls.ZamBEX, s.bitTarget);

    const std::uint8_t n = zambitchten(v, s.bitIndex);
    const bool bitIsSet = n == v;
    if (bitIsSet == s.bitTarget) {
        event.output.paneLines[AreaER] << kBitAlreadySet;
        return;
    }
    const std::uint8_t written = s.bitTarget ? n : zambitchten2(v, s.bitIndex);
    event.controls.address[AreaER] = writeFieldText(s.writeAddress[AreaER], written);
    chtandZap(event, AreaER, MemoryKey::Enter);
}

// ---- replies ----

MemoryOutput MemoryExchange::replyWindowEnded(std::span<const std::uint8_t> reply, MemoryControls& controls,
                                              LineStatus line)
{
    Event event = begin(controls, line);
    if (reply.empty()) {
        // Nothing came: the chain stops where it is and keeps its flags.
        state_.phase = ExchangePhase::Idle;
    } else if (reply.size() == 1 && reply[0] == kAccessAcknowledge && state_.phase == ExchangePhase::AwaitingAck) {
        acknowledged(event);
    } else if (reply.size() == 3 && state_.phase == ExchangePhase::AwaitingReply) {
        areaReplied(event, reply[0], reply[1], reply[2]);
    }
    // Anything else leaves the exchange as it is, to be reset by the next request.
    // A window that sends nothing more ends the chain, whatever step it was at.
    if (event.output.frames.isEmpty())
        reportGuardLeftSet(event);
    return event.output;
}

// The chain is kept as it was, guard bit included; only the operator learns of it.
void MemoryExchange::reportGuardLeftSet(Event& event)
{
    if (!state_.erGuardRaised)
        return;
    state_.erGuardRaised = false;
    event.output.paneLines[AreaIR] << kErGuardLeftSet;
}

void MemoryExchange::acknowledged(Event& event)
{
    state_.phase = ExchangePhase::Idle;
    for (int area = 0; area < MemoryAreaCount; ++area) {
        if (!state_.readPending[area] && !state_.writePending[area])
            continue;
        if (send(event, state_.areaRequest[area])) {
            state_.phase = ExchangePhase::AwaitingReply;
            if (area == AreaIR && state_.writePending[area] && state_.erWriteResume)
                state_.erGuardRaised = true;
        }
        state_.areaRequest[area].clear();
        return;
    }
}

void MemoryExchange::areaReplied(Event& event, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    state_.phase = ExchangePhase::Idle;
    for (int i = 0; i < MemoryAreaCount; ++i) {
        const auto area = static_cast<MemoryArea>(i);
        if (state_.readPending[area])
            return readReplied(event, area, b0, b1, b2);
        if (state_.writePending[area])
            return writeReplied(event, area);
    }
}

void MemoryExchange::readReplied(Event& event, MemoryArea area, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    state_.readPending[area] = false;
    state_.writePending[area] = false;
    event.output.paneLines[area] << paneLine(event.controls.address[area], b0, b1, b2);
    if (b2 == kErrorReply) {
        event.output.values[area] = kReadErrorValue;
        if (area == AreaER)
            state_.bitReplaceER = state_.erWriteResume = false;
        return;
    }
    event.output.values[area] = transport::hexByte(b1);
    // While the guard is up, every IR read a chain makes is of IR 000024: the guard
    // and the emulation bit share that byte.
    if (area == AreaIR && (b1 & (1u << kErGuardBit)) == 0)
        state_.erGuardRaised = false;
    if (area == AreaIR)
        afterIrRead(event, b1);
    else if (area == AreaER)
        afterErRead(event, b1);
}

// The write reply is not looked at: the read-back shows what the byte holds now.
void MemoryExchange::writeReplied(Event& event, MemoryArea area)
{
    state_.areaRequest[area] = areaRequestText(readCode(area), state_.writeAddress[area], QStringLiteral("00"));
    state_.writePending[area] = false;
    state_.readPending[area] = true;
    if (send(event, state_.preambleText))
        state_.phase = ExchangePhase::AwaitingAck;
}

void MemoryExchange::afterIrRead(Event& event, std::uint8_t value)
{
    MemoryExchangeState& s = state_;
    if (s.emulationOnErStep || s.emulationOffErStep) {
        const bool on = s.emulationOnErStep;
        s.emulationOnErStep = s.emulationOffErStep = false;
        startEmulationErStep(event, on);
        return;
    }
    if (s.erWriteResume && s.erWriteUnlocking)
        chtandZap(event, AreaER, MemoryKey::Enter);
    if (s.bitReplaceIR)
        applyIR(event, value);
}

void MemoryExchange::afterErRead(Event& event, std::uint8_t value)
{
    MemoryExchangeState& s = state_;
    if (s.bitReplaceER) {
        applyER(event, value);
        return;
    }
    if (!s.erWriteResume)
        return;
    // The read-back of a guarded ER write: clear the guard bit again.
    replaceGuardBit(event, false);
    s.erWriteResume = false;
}

} // namespace memory
