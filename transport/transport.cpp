#include "transport.h"

#include "customcomm.h"
#include "frametext.h"
#include "logline.h"
#include "portsession.h"
#include "replywindowtimer.h"

#include <algorithm>
#include <utility>

namespace transport {

Transport::Transport(portsession::PortSession& session, QObject* parent)
    : QObject(parent)
    , comm_(session.comm())
    , Timer1_(new ReplyWindowTimer(this))
{
    setObjectName(QStringLiteral("Transport"));
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(kFirstReplyWindowMs);
    connect(Timer1_, &ReplyWindowTimer::timeout, this, &Transport::readportandobrabotka);

    connect(&session, &portsession::PortSession::bytesWaiting, this, &Transport::Comm1RxChar);
    connect(&session, &portsession::PortSession::outputDropped, this, &Transport::reportOutputDropped);
    // What happens to the port is told in the log of the mode selected now.
    connect(&session, &portsession::PortSession::notice, this, &Transport::noticeToActive);
    // A returning device is not reopened under a window; a hold alone does not stop it.
    session.setLineBusy([this] { return windowOpen(); });
}

void Transport::setClients(std::vector<LineClient*> clients)
{
    clients_ = std::move(clients);
}

void Transport::setActiveClient(int index)
{
    active_ = index;
}

bool Transport::busy() const
{
    return windowOpen() || holder_ != nullptr;
}

bool Transport::windowOpen() const
{
    return Timer1_->isActive();
}

void Transport::hold(LineClient& holder)
{
    holder_ = &holder;
}

void Transport::release()
{
    holder_ = nullptr;
    windowHolder_ = nullptr;
}

bool Transport::sendHeld(const QString& text)
{
    if (!holder_ || windowOpen() || !send(text))
        return false;
    windowHeld_ = true;
    windowHolder_ = holder_;
    return true;
}

QByteArray Transport::takeWaiting(int most)
{
    QByteArray bytes;
    if (!comm_.IsOpen())
        return bytes;
    std::array<char, kReplyBufferSize> chunk{};
    while (bytes.size() < most) {
        const int read = comm_.Read(chunk.data(), std::min<int>(int(chunk.size()), most - int(bytes.size())));
        if (read <= 0)
            break;
        bytes.append(chunk.data(), read);
    }
    receivedByteCount_ = std::max(0, receivedByteCount_ - static_cast<std::int32_t>(bytes.size()));
    return bytes;
}

void Transport::endHeldWindow()
{
    if (windowHeld_ && windowOpen())
        readportandobrabotka();
}

const commport::TLineSettings& Transport::lineSettings() const
{
    return comm_.LineSettings();
}

bool Transport::portOpen() const
{
    return comm_.IsOpen();
}

void Transport::setReplyWindow(int ms)
{
    Timer1_->setInterval(ms);
}

int Transport::replyWindow() const
{
    return Timer1_->interval();
}

void Transport::sendComposedRequest(const QString& text)
{
    if (busy() || text.isEmpty())
        return;
    for (LineClient* client : clients_)
        client->requestComposed(text);
    obrabZapstr(text);
}

void Transport::obrabZapstr(const QString& text)
{
    if (!busy())
        send(text);
}

bool Transport::send(const QString& text)
{
    if (windowOpen() || !comm_.IsOpen())
        return false;

    // Convert every frame first: a text with a frame too long for the buffer is
    // refused whole rather than sent in part.
    std::vector<QByteArray> frames;
    for (const QString& piece : splitFrameText(text)) {
        const std::optional<FrameBytes> frame = frameTextToBytes(piece);
        if (!frame) {
            noticeToActive(QStringLiteral("Кадр длиннее %1 байт не отправлен").arg(kMaxFrameBytes));
            return false;
        }
        frames.push_back(frame->bytes);
    }
    for (const QByteArray& frame : frames)
        writePort(frame);
    // An empty text writes nothing but still opens a window, which ends in "TimeOut".
    if (!Timer1_->isActive()) {
        Timer1_->start();
        emit windowOpened();
    }
    return true;
}

void Transport::writePort(const QByteArray& frame)
{
    comm_.Write(frame.constData(), static_cast<int>(frame.size()));
    lastWriteTime_ = std::chrono::steady_clock::now();
    // The window runs from the first frame of a text; later frames do not lengthen it.
    if (!Timer1_->isActive()) {
        Timer1_->start();
        emit windowOpened();
    }
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                 static_cast<std::size_t>(frame.size()));
    const QString line = sentFrameLine(bytes, timeStampText());
    for (std::size_t i = 0; i < clients_.size(); ++i)
        clients_[i]->frameSent(line, static_cast<int>(i) == active_);
    emit frameWritten(frame);
}

void Transport::Comm1RxChar(int count)
{
    receivedByteCount_ = count;
    // Bytes a family's window is waiting for are that family's, hold or not.
    if (holder_ && count > 0 && (windowHeld_ || !windowOpen()))
        holder_->bytesArrived(count, comm_.LineStatus().EventTime);
}

void Transport::readportandobrabotka()
{
    Timer1_->setInterval(slowLine_ ? kSlowReplyWindowMs : kReplyWindowMs);
    Timer1_->stop();

    // A count recorded before the port was closed (or purged) names bytes that are
    // gone: only what the port really delivers is handled, never zeros in their place.
    // A device that vanished under the window still delivers what came before it went.
    int received = 0;
    const int counted = std::clamp(receivedByteCount_, 0, kReplyBufferSize);
    if (counted > 0) {
        replyBuffer_.fill(0);
        received = std::max(0, comm_.Read(replyBuffer_.data(), counted));
    }
    receivedByteCount_ = 0;
    emit replyRead(received);

    if (std::exchange(windowHeld_, false)) {
        if (LineClient* holder = std::exchange(windowHolder_, nullptr))
            holder->replyWindowEnded(std::span(replyBuffer_.data(), static_cast<std::size_t>(received)));
        return;
    }
    if (LineClient* client = activeLineClient())
        client->replyWindowEnded(std::span(replyBuffer_.data(), static_cast<std::size_t>(received)));
}

void Transport::reportOutputDropped(int bytes)
{
    // Not in time, not room in the queue, or refused by the device: the line did not
    // take them, and that is what the operator needs to know.
    noticeToActive(QStringLiteral("Не отправлено %1 байт: линия их не приняла").arg(bytes));
}

LineClient* Transport::activeLineClient() const
{
    return active_ >= 0 && active_ < static_cast<int>(clients_.size()) ? clients_[static_cast<std::size_t>(active_)]
                                                                        : nullptr;
}

void Transport::noticeToActive(const QString& line)
{
    if (LineClient* client = activeLineClient())
        client->lineNotice(line);
}

} // namespace transport
