#pragma once
// The frame text of every dispenser request, built from the address, the hose and the
// entry fields exactly as the controller expects them: the numbers are the fields'
// digits copied as packed BCD, never converted. The text built here is the text sent.

#include "controlrequests.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace dispenser {

enum class DispenserRequest {
    Status,
    Activate,
    Passivate,
    Pause,
    Continue,
    Stop,
    ValveOn,
    ValveOff,
    DispenseVolume,
    DispenseMoney,
    PriceWrite,
    PriceRead,
    TotaliserRead,
    TotaliserReset,
    Version,
};

// What a request reads from the window.
struct RequestInputs {
    QString address;   // kontroller, "01".."7F"
    QString hose;      // trkedit, "1".."7"
    QString litri;     // "000000,000"
    QString Stoimost;  // "00000,00 р."
    QString stoimlitr; // "00,00 р."
    ControlRequestTemplates templates = defaultControlRequests();
};

struct PreparedRequest {
    // The whole frame text, as the console line shows it and the line gets it.
    QString text;
    // The reply the request announces.
    std::uint8_t expectCmd = 0;
    std::uint8_t expectSub = 0;
    // Not empty: the request cannot go out, and this console line says why.
    QString refusal;
};

// The header of a request framed by its command code: "60 A dh *", and with data
// " 0h " after it, ready for the data text. Empty for a code without an envelope.
QString commandEnvelope(const QString& code, const QString& address, const QString& hose, bool dataPresent);

// The hose digit with the flag 8 added ("9".."F"), used by the price read and the
// totaliser reset; nothing when the hose text is not a number from 1 to 7.
std::optional<QChar> hoseFlagDigit(const QString& hose);

// The eight volume digits of "000012,340": whole litres and two decimals.
QString volumeDigits(const QString& litri);
// The eight money digits of "00150,00 р.": a leading 0, roubles and kopecks.
QString moneyDigits(const QString& Stoimost);

PreparedRequest prepareRequest(DispenserRequest request, const RequestInputs& in);

// The console line that says why a request was not sent for a hose text that is not
// one hex digit (an emptied box).
QString hoseNotDigitLine(const QString& hose);
// The console line that says why a request needing the hose flag was not sent.
QString hoseOutOfRangeLine(const QString& hose);

} // namespace dispenser
