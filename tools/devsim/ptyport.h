#pragma once
// The device's end of a pseudo-terminal pair. The other end, the slave, is what the
// console opens as its serial port.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

namespace devsim {

class PtyPort {
public:
    enum class Line {
        Raw,            // no echo, no line buffering, no XON/XOFF: bytes pass as they are
        KernelDefaults, // as the kernel makes it, as a freshly plugged adapter comes up
    };
    // A pair, or nothing with the reason in error.
    static std::unique_ptr<PtyPort> open(QString* error, Line line = Line::Raw);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int fd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

    // True while some program holds the slave open. Until then, and after it
    // closes, bytes written here would wait in the line for the next program to
    // open the port, so they are not written at all.
    bool clientConnected() const;

    enum class ReadResult { Data, Nothing, HungUp };
    // Everything waiting, appended to bytes.
    ReadResult readAll(QByteArray& bytes);
    // Bytes written, which may be fewer than asked when the line is full.
    qsizetype write(QByteArrayView bytes);

private:
    PtyPort(int master, QString slavePath) : m_master(master), m_slavePath(std::move(slavePath)) {}
    int m_master;
    QString m_slavePath;
};

} // namespace devsim
