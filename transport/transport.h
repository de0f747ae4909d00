#pragma once
// The line: finished frame text in, frames out, one reply window per send, the bytes
// of the window handed to the family whose mode is selected when it ends. It knows
// the families only as LineClients and never composes a request itself.

#include "lineclient.h"
#include "replywindows.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>


namespace commport {
class TCustomComm;
struct TLineSettings;
}
namespace portsession {
class PortSession;
}

namespace transport {

class ReplyWindowTimer;

class Transport : public QObject {
    Q_OBJECT
public:
    // Takes the session's bytes and events itself; while a reply window runs, the
    // session reopens no returning device.
    explicit Transport(portsession::PortSession& session, QObject* parent = nullptr);

    // One client per mode, in the mode switch's order.
    void setClients(std::vector<LineClient*> clients);
    // The selected mode: its client gets the bytes of the windows that end from now on.
    void setActiveClient(int index);
    int activeClient() const { return active_; }

    // A reply is awaited, or a holder has the line: every send does nothing. The
    // running window is the only interlock of the program.
    bool busy() const;
    // A reply window runs.
    bool windowOpen() const;
    bool portOpen() const;

    // A client that takes the line for itself (a test script run). While it holds the
    // line every send of the families does nothing (busy() is true for them), and the
    // bytes of each window it opens go to it alone, whatever mode is selected; frames
    // it sends are still logged as every frame is. A window of a family that is open
    // when the hold begins still ends at that family.
    void hold(LineClient& holder);
    // The families may send again. A window the holder opened that is still open ends
    // unheard: its reply belongs to no family.
    void release();
    bool held() const { return holder_ != nullptr; }
    // Sends frame text for the holder as obrabZapstr does. False when nothing went
    // out: no holder, a window open, the port closed or a frame too long.
    bool sendHeld(const QString& text);
    // For the holder: takes up to `most` bytes of what waits in the input queue now,
    // window or not; nothing when the port is closed. What the holder takes here is
    // not read again at the end of its window.
    QByteArray takeWaiting(int most);
    // For the holder: ends the window it opened now, as its timer would.
    void endHeldWindow();
    // The port's line settings, for how long a character takes on the wire.
    const commport::TLineSettings& lineSettings() const;
    // When the last frame was handed to the port, before anything was logged of it.
    std::chrono::steady_clock::time_point lastWriteTime() const { return lastWriteTime_; }

    // The slow line ("Протеус"): every window the transport sets itself is 2000 ms.
    void setSlowLine(bool slow) { slowLine_ = slow; }
    bool slowLine() const { return slowLine_; }
    // The length of the next window. A window open now runs again from now with this
    // length, so a family can stretch the window its follow-up request just opened.
    void setReplyWindow(int ms);
    int replyWindow() const;
    // Bytes waiting in the input queue, as the last receive event reported.
    int receivedByteCount() const { return receivedByteCount_; }

    // A request composed by a family: shown to every client, then sent. Nothing at
    // all happens while a reply is awaited.
    void sendComposedRequest(const QString& text);
    // Cuts frame text at each "*" and writes the frames; nothing while busy or closed.
    void obrabZapstr(const QString& text);

    // The end of the reply window: read, hand over, line idle again.
    void readportandobrabotka();

    // A line for the log of the mode selected now.
    void noticeToActive(const QString& line);

signals:
    // Emitted for each frame handed to the port, after it was logged.
    void frameWritten(const QByteArray& bytes);
    // For measurements: the first frame of a text was just written (the window
    // opened), and the reply was just read at the window's end, before any logging.
    void windowOpened();
    void replyRead(int bytes);

private:
    // The port's receive event: how many bytes wait.
    void Comm1RxChar(int count);
    // Output the port gave up on: told to the selected family's log.
    void reportOutputDropped(int bytes);
    // Converts and writes the frames of the text and opens the window; false when the
    // text was refused.
    bool send(const QString& text);
    void writePort(const QByteArray& frame);
    LineClient* activeLineClient() const;

    commport::TCustomComm& comm_;
    ReplyWindowTimer* const Timer1_;
    std::vector<LineClient*> clients_;
    int active_ = 0;
    LineClient* holder_ = nullptr;
    // The window open now was opened by the holder; who gets its bytes (nobody once
    // the hold is released).
    bool windowHeld_ = false;
    LineClient* windowHolder_ = nullptr;
    bool slowLine_ = false;
    std::int32_t receivedByteCount_ = 0;
    std::chrono::steady_clock::time_point lastWriteTime_{};
    std::array<std::uint8_t, kReplyBufferSize> replyBuffer_{};
};

} // namespace transport
