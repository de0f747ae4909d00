#pragma once
// The meter mode's side of the transport: its own request framing, and a log that
// shows results rather than raw frames.

#include "transportmode.h"

class QComboBox;
class QPlainTextEdit;

namespace meter {

class MeterReception : public transport::TransportMode {
public:
    MeterReception(QComboBox* kontroller, QPlainTextEdit* meterLog);

    std::optional<QString> composeDataRequest(const QString& data, const QString& code) override;
    void replyTimedOut() override;
    void replyReceived(std::span<const std::uint8_t> reply) override;

private:
    QComboBox* const kontroller_;
    QPlainTextEdit* const meterLog_;
};

} // namespace meter
