#pragma once
// The values the send side and the receive side of the protocol code share. One
// instance lives in the main window for the whole run; the rooms that need it get
// it by reference. Everything here is touched on the GUI thread only.

#include <QString>
#include <array>
#include <cstdint>

namespace transport {

// A dispenser control request: the data-frame template and its command code.
struct ControlRequestTemplate {
    QString data;
    QString code;
};

// Index of each control-request template in SharedState::controlRequests.
enum ControlRequest {
    StatusRequest,
    ActivateRequest,
    PassivateRequest,
    PauseRequest,
    ContinueRequest,
    StopRequest,
    ValveOnRequest,
    ValveOffRequest,
    ControlRequestCount
};

// The four memory areas of the memory-access mode, in the order of their panes.
enum MemoryArea { AreaIR, AreaER, AreaIM, AreaIF, MemoryAreaCount };

// The state of a two-stage memory exchange: preamble out, C0 back, area request
// out, three bytes back.
struct MemoryExchangeState {
    std::array<bool, MemoryAreaCount> readPending{};
    std::array<bool, MemoryAreaCount> writePending{};
    std::array<QString, MemoryAreaCount> areaRequest;
    std::array<QString, MemoryAreaCount> writeAddress;
    QString preambleText;
    bool requestSent = false;
    bool bitReplaceIR = false;
    bool bitReplaceER = false;
    int bitIndex = 0;
    bool bitTarget = false;
    bool erWriteUnlocking = false;
    bool erWriteResume = false;
    bool emulationOnRequested = false;
    bool emulationOnErStep = false;
    bool emulationOffRequested = false;
    bool emulationOffErStep = false;
};

struct SharedState {
    // Bytes waiting in the port's input queue, as the last receive event reported.
    std::int32_t receivedByteCount = 0;
    // The reply the last dispenser or meter request announced.
    std::uint8_t expectCmd = 0;
    std::uint8_t expectSub = 0;
    std::array<ControlRequestTemplate, ControlRequestCount> controlRequests;
    MemoryExchangeState memory;
    // Meter poll: step counter (shared with read-all and write-all) and colour phase.
    int pollStep = 0;
    bool pollPhase = false;
};

// The templates the main window stores at start.
std::array<ControlRequestTemplate, ControlRequestCount> defaultControlRequests();

} // namespace transport
