#include "memoryexchange.h"

#include "addressfield.h"
#include "controlleraddress.h"
#include "frametext.h"
#include "logline.h"
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

PendingRequest readRequest(MemoryArea area, const QString& address)
{
    return {area, false, areaRequestText(readCode(area), address, QStringLiteral("00"))};
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
    return Event{controls, {}, !line.busy && line.open, line.open};
}

bool MemoryExchange::send(Event& event, const QString& text)
{
    if (!event.lineReady) {
        // A busy line is the exchange's own business; a closed one the operator must
        // hear of, once for the key or click however many frames it would have sent.
        if (!event.lineOpen && event.output.exchangeLog.isEmpty())
            event.output.exchangeLog << transport::portClosedLine();
        return false;
    }
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

void MemoryExchange::chtandZap(Event& event, MemoryArea area, MemoryKey key, ErGuard guard)
{
    const AddressFieldRequest request = parseAddressField(event.controls.address[area], key);
    switch (request.kind) {
    case AddressFieldRequest::Refused:
        return;
    case AddressFieldRequest::TwoBlanks:
        if (state_.pending && state_.pending->area == area)
            state_.pending.reset();
        // The IF field reports it in the IR pane.
        if (area == AreaIF)
            event.output.paneLines[AreaIR] << kTwoBlanks;
        return;
    case AddressFieldRequest::Write:
        if (area == AreaER && guard == ErGuard::Raise) {
            // Every ER write is bracketed by bit 3 of IR 000024: the write waits while
            // the bit is set, and the field keeps its text for it.
            readGuardByte(event, chain::GuardRead{});
            return;
        }
        state_.writeAddress[area] = request.address;
        state_.pending = PendingRequest{area, true, areaRequestText(writeCode(area), request.address, request.value)};
        break;
    case AddressFieldRequest::Read:
        state_.pending = readRequest(area, request.address);
        break;
    }
    event.controls.address[area] = request.fieldText;
    event.output.carets[area] = request.caret;
    sendPreamble(event, area);
}

// Reads IR 000024 to set or clear the ER write guard in it.
void MemoryExchange::readGuardByte(Event& event, ChainStep step)
{
    event.controls.address[AreaIR] = kErGuardAddress;
    state_.writeAddress[AreaIR] = kErGuardAddress;
    state_.chain = step;
    chtandZap(event, AreaIR, MemoryKey::Enter);
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

namespace {

// Where the chain keeps whether the guard bit was left raised; none outside the
// guard's steps.
template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

bool* guardRaised(ChainStep& step)
{
    return std::visit(
        [](auto& s) -> bool* {
            if constexpr (requires { s.raised; })
                return &s.raised;
            else
                return nullptr;
        },
        step);
}

} // namespace

void MemoryExchange::abandonChain(Event& event)
{
    reportGuardLeftSet(event);
    state_.pending.reset();
    state_.chain = chain::None{};
}

void MemoryExchange::endChain(Event& event)
{
    reportGuardLeftSet(event);
    state_.chain = chain::None{};
}

// The chain is kept as it was, guard bit included; only the operator learns of it.
void MemoryExchange::reportGuardLeftSet(Event& event)
{
    bool* const raised = guardRaised(state_.chain);
    if (!raised || !*raised)
        return;
    *raised = false;
    event.output.paneLines[AreaIR] << kErGuardLeftSet;
}

void MemoryExchange::guardSeenClear()
{
    if (bool* const raised = guardRaised(state_.chain))
        *raised = false;
}

MemoryOutput MemoryExchange::ZamenaBitIRClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    abandonChain(event);
    ZamenaBitIRPROC(event);
    return event.output;
}

MemoryOutput MemoryExchange::ZamenaBitEXClick(MemoryControls& controls, LineStatus line)
{
    Event event = begin(controls, line);
    // A chain left by a missing reply could otherwise let this replacement's ER
    // write out without the guard bit.
    abandonChain(event);
    ZamenaBitEXPROC(event);
    return event.output;
}

void MemoryExchange::ZamenaBitIRPROC(Event& event, std::optional<bool> emulation)
{
    const QString address = adressyach(event.controls.address[AreaIR]);
    if (address == kUnusableAddress)
        return;
    const int bit = selectedItem(event.controls.bitIR, kBitItems);
    if (bit < 0) {
        event.output.paneLines[AreaIR] << badBitNumberLine(event.controls.bitIR);
        return;
    }
    BitChange change{bit, false};
    takeBitTarget(event.controls.ZambIR, change.target);
    event.controls.address[AreaIR] = address;
    state_.writeAddress[AreaIR] = address;
    if (emulation)
        state_.chain = chain::EmulationIrRead{*emulation};
    else
        state_.chain = chain::IrBitRead{change};
    chtandZap(event, AreaIR, MemoryKey::Enter);
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
    BitChange change{bit, false};
    takeBitTarget(event.controls.ZamBEX, change.target);
    state_.writeAddress[AreaER] = address;
    state_.chain = chain::ErBitRead{change};
    chtandZap(event, AreaER, MemoryKey::Enter);
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
    ZamenaBitIRPROC(event, on);
}

void MemoryExchange::startEmulationErStep(Event& event, bool target)
{
    state_.chain = chain::None{};
    event.controls.address[AreaER] = kEmulationErAddress;
    event.controls.BitEx = QString::number(kEmulationErBit);
    event.controls.ZamBEX = target ? QStringLiteral("1") : QStringLiteral("0");
    ZamenaBitEXPROC(event);
}

// Gives the bit its value in IR byte v: a write when it differs, after whose read-back
// the chain goes on with `afterWrite`. False, with the pane's line, when the bit
// already has its value.
bool MemoryExchange::replaceIrBit(Event& event, BitChange change, std::uint8_t v, ChainStep afterWrite)
{
    const std::uint8_t n = zambitchten(v, change.bit);
    const bool bitIsSet = n == v;
    if (bitIsSet == change.target) {
        event.output.paneLines[AreaIR] << kBitAlreadySet;
        return false;
    }
    const std::uint8_t written = change.target ? n : zambitchten2(v, change.bit);
    state_.chain = afterWrite;
    event.controls.address[AreaIR] = writeFieldText(state_.writeAddress[AreaIR], written);
    chtandZap(event, AreaIR, MemoryKey::Enter);
    return true;
}

// The guard bit is up: the ER write the field holds goes out without raising it again.
void MemoryExchange::sendGuardedErWrite(Event& event, ChainStep next)
{
    state_.chain = next;
    chtandZap(event, AreaER, MemoryKey::Enter, ErGuard::Up);
}

void MemoryExchange::applyER(Event& event, BitChange change, std::uint8_t v)
{
    state_.chain = chain::None{};
    // The ER boxes are read again now: the user may have changed them meanwhile.
    const int bit = selectedItem(event.controls.BitEx, kBitItems);
    if (bit < 0) {
        event.output.paneLines[AreaER] << badBitNumberLine(event.controls.BitEx);
        return;
    }
    change.bit = bit;
    takeBitTarget(event.controls.ZamBEX, change.target);

    const std::uint8_t n = zambitchten(v, change.bit);
    const bool bitIsSet = n == v;
    if (bitIsSet == change.target) {
        event.output.paneLines[AreaER] << kBitAlreadySet;
        return;
    }
    const std::uint8_t written = change.target ? n : zambitchten2(v, change.bit);
    event.controls.address[AreaER] = writeFieldText(state_.writeAddress[AreaER], written);
    chtandZap(event, AreaER, MemoryKey::Enter);
}

// ---- replies ----

MemoryOutput MemoryExchange::replyWindowEnded(std::span<const std::uint8_t> reply, MemoryControls& controls,
                                              LineStatus line)
{
    Event event = begin(controls, line);
    if (reply.empty()) {
        // Nothing came: the chain stops where it is and keeps its step.
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

void MemoryExchange::acknowledged(Event& event)
{
    state_.phase = ExchangePhase::Idle;
    if (!state_.pending)
        return;
    PendingRequest& request = *state_.pending;
    if (send(event, request.text)) {
        state_.phase = ExchangePhase::AwaitingReply;
        if (request.area == AreaIR && request.write)
            if (auto* guard = std::get_if<chain::GuardWritten>(&state_.chain))
                guard->raised = true;
    }
    request.text.clear();
}

void MemoryExchange::areaReplied(Event& event, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    state_.phase = ExchangePhase::Idle;
    if (!state_.pending)
        return;
    const MemoryArea area = state_.pending->area;
    if (state_.pending->write)
        writeReplied(event, area);
    else
        readReplied(event, area, b0, b1, b2);
}

void MemoryExchange::readReplied(Event& event, MemoryArea area, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    state_.pending.reset();
    event.output.paneLines[area] << paneLine(event.controls.address[area], b0, b1, b2);
    if (b2 == kErrorReply) {
        event.output.values[area] = kReadErrorValue;
        // An ER read the chain waited for ends it.
        if (area == AreaER
            && (std::holds_alternative<chain::ErBitRead>(state_.chain)
                || std::holds_alternative<chain::GuardedErWrite>(state_.chain)))
            endChain(event);
        return;
    }
    event.output.values[area] = transport::hexByte(b1);
    // While the guard is up, every IR read a chain makes is of IR 000024: the guard
    // and the emulation bit share that byte.
    if (area == AreaIR && (b1 & (1u << kErGuardBit)) == 0)
        guardSeenClear();
    if (area == AreaIR)
        afterIrRead(event, b1);
    else if (area == AreaER)
        afterErRead(event, b1);
}

// The write reply is not looked at: the read-back shows what the byte holds now.
void MemoryExchange::writeReplied(Event& event, MemoryArea area)
{
    state_.pending = readRequest(area, state_.writeAddress[area]);
    if (send(event, state_.preambleText))
        state_.phase = ExchangePhase::AwaitingAck;
}

void MemoryExchange::afterIrRead(Event& event, std::uint8_t value)
{
    using namespace chain;
    const ChainStep step = state_.chain;
    std::visit(Overloaded{
                   [&](const IrBitRead& s) {
                       if (!replaceIrBit(event, s.change, value, None{}))
                           endChain(event);
                   },
                   [&](const EmulationIrRead& s) {
                       if (!replaceIrBit(event, {kEmulationIrBit, s.on}, value, EmulationIrWritten{s.on}))
                           startEmulationErStep(event, s.on);
                   },
                   [&](const EmulationIrWritten& s) { startEmulationErStep(event, s.on); },
                   [&](const GuardRead&) {
                       // Already 1: the write goes out now and the bit stays as it was.
                       if (!replaceIrBit(event, {kErGuardBit, true}, value, GuardWritten{false}))
                           sendGuardedErWrite(event, None{});
                   },
                   [&](const GuardWritten& s) { sendGuardedErWrite(event, GuardedErWrite{s.raised}); },
                   [&](const GuardClearRead& s) {
                       if (!replaceIrBit(event, {kErGuardBit, false}, value, GuardClearWritten{s.raised}))
                           endChain(event);
                   },
                   [&](const GuardClearWritten&) { endChain(event); },
                   // An IR read is no step of the others.
                   [](const auto&) {},
               },
               step);
}

void MemoryExchange::afterErRead(Event& event, std::uint8_t value)
{
    using namespace chain;
    const ChainStep step = state_.chain;
    std::visit(Overloaded{
                   [&](const ErBitRead& s) { applyER(event, s.change, value); },
                   // The read-back of a guarded ER write: clear the guard bit again.
                   [&](const GuardedErWrite& s) { readGuardByte(event, GuardClearRead{s.raised}); },
                   [](const auto&) {},
               },
               step);
}

} // namespace memory
