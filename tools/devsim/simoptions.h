#pragma once
// The simulator's command line.

#include "qldevice.h"
#include "simdevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

namespace devsim {

enum class Family { Dix, Ql, Erk };

struct SimOptions {
    Family family = Family::Dix;
    QString port = QStringLiteral("COM9");
    QString linkPath;                    // empty: the port in the virtual ports directory
    std::optional<std::uint8_t> address; // empty: the family's default
    int delayMs = 0;
    bool silent = false;
    bool badChecksum = false;
    bool refuseWrites = false;           // erk: every write answered FF, nothing kept
    std::optional<int> splitMs;
    // Bytes sent after each reply, unasked, trailingAfterMs after its last byte.
    QByteArray trailing;
    int trailingAfterMs = 2;
    QByteArray unsolicited;
    int unsolicitedEveryMs = 1000;
    double litresPerSecond = 0;
    QList<QlDevice::Cell> qlBadCells;
    bool qlErWriteGuard = false;
    bool verbose = false;
    bool ttyDefaults = false; // leave the pseudo-terminal at the kernel's settings
    // Both sides of a conversation for the line monitor: the station's port and the
    // device's port (empty: the simulator answers on --port as usual).
    QStringList conversation;
    int conversationEveryMs = 500;
};

struct ParsedOptions {
    SimOptions options;
    QString error;      // set when the command line is wrong
    QString helpText;   // set when help was asked for
};

// args as QCoreApplication::arguments() gives them, the program name first.
ParsedOptions parseOptions(const QStringList& args);

// The device of the chosen family, set up as the options say.
std::unique_ptr<SimDevice> makeDevice(const SimOptions& options);

} // namespace devsim
