#include "transport.h"

#include "frametext.h"
#include "replytext.h"
#include "customcomm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <algorithm>

namespace transport {

namespace {

// The digit a command code puts in the high half of the header's third byte.
QString envelopeDigit(const QString& code)
{
    static const QStringList codes = {
        QStringLiteral("00"), QStringLiteral("10"), QStringLiteral("30"), QStringLiteral("40"),
        QStringLiteral("50"), QStringLiteral("60"), QStringLiteral("70"), QStringLiteral("80"),
        QStringLiteral("90"), QStringLiteral("A0"), QStringLiteral("B0"), QStringLiteral("C0"),
        QStringLiteral("F0"),
    };
    if (codes.contains(code))
        return code.left(1);
    // The Cyrillic capital А sits on the same key as the Latin one.
    if (code == QStringLiteral("А0"))
        return QStringLiteral("A");
    return QString();
}

// Splits frame text at each "*" (runs of "*" count once); the rest after the last
// "*" is a frame without checksum unless it holds nothing but blanks.
QStringList splitFrames(const QString& text)
{
    QString s = text;
    qsizetype pair;
    while ((pair = s.indexOf(QStringLiteral("**"))) >= 0)
        s.remove(pair, 1);
    QStringList pieces;
    qsizetype star;
    while ((star = s.indexOf(u'*')) >= 0) {
        pieces << s.left(star + 1);
        s.remove(0, star + 1);
    }
    if (!s.isEmpty() && !isBlankFramePiece(s))
        pieces << s;
    return pieces;
}

} // namespace

Transport::Transport(commport::TCustomComm& comm, SharedState& state, Controls controls, QObject* parent)
    : QObject(parent)
    , Timer1(new QTimer(this))
    , comm_(comm)
    , state_(state)
    , controls_(std::move(controls))
{
    Timer1->setObjectName(QStringLiteral("Timer1"));
    // The reply window is the program's only interlock; it must last what it says.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(kFirstReplyWindowMs);
    connect(Timer1, &QTimer::timeout, this, &Transport::Timer1Timer);
}

void Transport::setModes(std::vector<TransportMode*> modes)
{
    modes_ = std::move(modes);
}

QString Transport::commandEnvelope(const QString& code, bool dataPresent) const
{
    const QString digit = envelopeDigit(code);
    if (digit.isEmpty())
        return QString();
    const QString address = controls_.kontroller->currentText();
    const QString hose = controls_.trkedit->currentText();
    QString text = QStringLiteral("60 ") + address + u' ' + digit + hose + QStringLiteral(" *");
    if (dataPresent)
        text += QStringLiteral(" 0") + hose + u' ';
    return text;
}

void Transport::OtpravitKnopka(const QString& data, const QString& code)
{
    if (busy())
        return;
    QString text;
    if (data.isEmpty() && !code.isEmpty()) {
        text = commandEnvelope(code, false);
    } else if (!data.isEmpty() && !code.isEmpty()) {
        TransportMode* mode = currentModeHandler();
        const std::optional<QString> own = mode ? mode->composeDataRequest(data, code) : std::nullopt;
        text = own ? *own : commandEnvelope(code, true) + data;
    } else if (!data.isEmpty()) {
        text = data;
    } else {
        return;
    }
    if (controls_.showRequestText)
        controls_.showRequestText(text);
    obrabZapstr(text);
}

void Transport::obrabZapstr(const QString& text)
{
    if (busy() || !comm_.IsOpen())
        return;

    // Convert every frame first: a text with a frame too long for the buffer is
    // refused whole rather than sent in part.
    std::vector<QByteArray> frames;
    for (const QString& piece : splitFrames(text)) {
        const std::optional<FrameBytes> frame = frameTextToBytes(piece);
        if (!frame) {
            logToSentPanes(QStringLiteral("Кадр длиннее %1 байт не отправлен").arg(kMaxFrameBytes));
            return;
        }
        frames.push_back(frame->bytes);
    }
    for (const QByteArray& frame : frames)
        writePort(frame);
    if (!Timer1->isActive())
        Timer1->start();
}

void Transport::writePort(const QByteArray& frame)
{
    comm_.Write(frame.constData(), static_cast<int>(frame.size()));
    // The window runs from the first frame of a text; later frames do not lengthen it.
    if (!Timer1->isActive())
        Timer1->start();
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                 static_cast<std::size_t>(frame.size()));
    logToSentPanes(sentFrameLine(bytes));
    emit frameWritten(frame);
}

void Transport::logToSentPanes(const QString& line)
{
    if (TransportMode* mode = currentModeHandler())
        if (QPlainTextEdit* console = mode->sentFramesConsole())
            appendLine(console, line);
    appendLine(controls_.Memo2, line);
}

void Transport::Comm1RxChar(int count)
{
    state_.receivedByteCount = count;
}

void Transport::Timer1Timer()
{
    readportandobrabotka();
}

void Transport::readportandobrabotka()
{
    Timer1->setInterval(controls_.proteus_check->isChecked() ? kSlowReplyWindowMs : kReplyWindowMs);
    Timer1->stop();

    TransportMode* mode = currentModeHandler();
    if (!mode)
        return;

    // A count recorded before the port was closed (or purged) names bytes that are
    // gone: only what the port really delivers is handled, never zeros in their place.
    int received = 0;
    const int counted = std::clamp(state_.receivedByteCount, 0, kReplyBufferSize);
    if (counted > 0 && comm_.IsOpen()) {
        replyBuffer_.fill(0);
        received = std::max(0, comm_.Read(replyBuffer_.data(), counted));
    }
    state_.receivedByteCount = 0;

    if (received == 0)
        mode->replyTimedOut();
    else
        mode->replyReceived(std::span(replyBuffer_.data(), static_cast<std::size_t>(received)));
}

TransportMode* Transport::currentModeHandler() const
{
    const int mode = controls_.currentMode ? controls_.currentMode() : 0;
    return mode >= 0 && mode < static_cast<int>(modes_.size()) ? modes_[static_cast<std::size_t>(mode)] : nullptr;
}

} // namespace transport
