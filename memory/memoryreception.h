#pragma once
// The memory-access mode's side of the transport: every reply is logged in the
// exchange log before anything else; checksums are not used by this protocol.

#include "transportmode.h"

class QPlainTextEdit;

namespace memory {

class MemoryReception : public transport::TransportMode {
public:
    MemoryReception(QPlainTextEdit* exchangeLog, QPlainTextEdit* requestLog);

    void replyTimedOut() override;
    void replyReceived(std::span<const std::uint8_t> reply) override;

private:
    QPlainTextEdit* const exchangeLog_;
    QPlainTextEdit* const requestLog_;
};

} // namespace memory
