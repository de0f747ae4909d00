#pragma once
// The dispenser's control requests: a data-frame template and a command code each,
// stored when the window is made.

#include <QString>
#include <array>

namespace dispenser {

struct ControlRequestTemplate {
    QString data;
    QString code;
};

// Index of each template.
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

using ControlRequestTemplates = std::array<ControlRequestTemplate, ControlRequestCount>;

ControlRequestTemplates defaultControlRequests();

} // namespace dispenser
