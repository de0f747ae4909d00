#pragma once
// What the dispenser's requests leave for its reply handling: the reply the last
// request announced, and the control-request templates.

#include "controlrequests.h"
#include "replydecoding.h"

namespace dispenser {

struct DispenserState {
    ExpectedReply expected;
    ControlRequestTemplates controlRequests = defaultControlRequests();
};

} // namespace dispenser
