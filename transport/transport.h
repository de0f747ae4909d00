#pragma once
// The road of every frame: composing a request, cutting frame text at "*", writing
// the frames, the reply window and the reading of the reply at its end.

#include "sharedstate.h"
#include "transportmode.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;

namespace commport {
class TCustomComm;
}

namespace transport {

// The reply buffer: one read per window takes at most this many bytes; more stay queued.
inline constexpr int kReplyBufferSize = 4096;

// The reply window lengths, in milliseconds.
inline constexpr int kFirstReplyWindowMs = 600;
inline constexpr int kReplyWindowMs = 500;
inline constexpr int kSlowReplyWindowMs = 2000;

class Transport : public QObject {
    Q_OBJECT
public:
    // The controls the transport reads while composing and the exchange log it writes.
    struct Controls {
        QComboBox* kontroller = nullptr;
        QComboBox* trkedit = nullptr;
        QCheckBox* proteus_check = nullptr;
        QPlainTextEdit* Memo2 = nullptr;
        // Shows a composed request's text in the console line.
        std::function<void(const QString&)> showRequestText;
        // The mode selected in the mode switch.
        std::function<int()> currentMode;
    };

    Transport(commport::TCustomComm& comm, SharedState& state, Controls controls, QObject* parent = nullptr);

    // The families, indexed by mode.
    void setModes(std::vector<TransportMode*> modes);

    // A reply is awaited: every send entry does nothing.
    bool busy() const { return Timer1->isActive(); }

    void OtpravitKnopka(const QString& data, const QString& code);
    QString commandEnvelope(const QString& code, bool dataPresent) const;
    void obrabZapstr(const QString& text);

    void Comm1RxChar(int count);
    void Timer1Timer();
    void readportandobrabotka();

    QTimer* const Timer1;

signals:
    // Emitted for each frame handed to the port, after it was logged.
    void frameWritten(const QByteArray& bytes);

private:
    void writePort(const QByteArray& frame);
    TransportMode* currentModeHandler() const;
    void logToSentPanes(const QString& line);

    commport::TCustomComm& comm_;
    SharedState& state_;
    Controls controls_;
    std::vector<TransportMode*> modes_;
    std::array<std::uint8_t, kReplyBufferSize> replyBuffer_{};
};

} // namespace transport
