// The report stage: the tail of every valid telegram set. It keeps the running wind values across
// sets, counts sets in a cycle of 60, adds the "Zähler" row, composes the status line every sixth
// set and, on the first set of each cycle, the APRS weather report that goes on the air.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "decode/decoder.h"
#include "report/agwpe.h"
#include "report/ax25.h"
#include "station/bytes.h"
#include "station/clock.h"

namespace ombrix {

constexpr int kReportCycle = 60;
constexpr int kStatusEvery = 6;

// One line for the operator, without its line end. The default writes it to stderr.
using WarningSink = std::function<void(const std::string& line)>;
void WarnOnStderr(const std::string& line);

// The values one report is made of, in the units the station sends.
struct ReportValues {
    double Direction = 0;                // degrees
    double MeanSpeed = 0;                // km/h
    double Gust = 0;                     // km/h
    double Temperature = 0;              // °C
    double RainHour = 0;                 // mm
    double RainToday = 0;                // mm
    double Humidity = 0;                 // %
    std::optional<double> Pressure = 0;  // mb (hPa), sea level; empty when it did not decode
};

// "!" + lage + ddd/sssgggtTTTrRRRPpppphHHbBBBBB. Every field has its APRS width: temperature in
// whole °F as three characters (-99..999, negatives as "-" and two digits), humidity as two digits
// with 100 % written "00" (1..100), pressure in tenths of hPa as five digits (0..99999), the other
// fields three digits (0..999). Halves round away from zero; zero carries no minus sign. A pressure
// that did not decode is APRS's unknown "....."; so is a direction above 360 ("..."), which only a
// faulty station sends: parsers would show the clamped 999, or 0 hPa, as weather.
Bytes AprsText(BytesView lage, const ReportValues& v);

// A single-precision reading as the station reported it: its shortest decimal text read back in
// double precision, the same in every locale (9.4 stays 9.4, not 9.399999…).
double DecimalValue(float reading);

// What a fresh installation stores under "Optionen": a position nowhere, a callsign that is never
// sent, the classic path; and so what the core assumes when nothing is configured.
inline constexpr std::string_view kDefaultLage = "0000.00N/00000.00E_";
inline constexpr std::string_view kDefaultCallTo = "CQ";
inline constexpr std::string_view kDefaultCallFrom = "N0CALL";
inline constexpr std::string_view kDefaultCallDigi1 = "Wide3-3";
inline constexpr std::string_view kDefaultCallDigi2 = "";
inline constexpr std::int16_t kDefaultAgwpePort = 0;

struct ReportSettings {
    Bytes Lage{kDefaultLage};
    // Destination, source, two digipeaters, the empty end marker and one unused entry.
    AddressList AddressCalls{Bytes(kDefaultCallTo),
                             Bytes(kDefaultCallFrom),
                             Bytes(kDefaultCallDigi1),
                             Bytes(kDefaultCallDigi2),
                             Bytes(),
                             Bytes()};
    std::int16_t AgwpePort = kDefaultAgwpePort;
};

class ReportStage {
  public:
    ReportStage(ReportSettings settings, FrameSink* frames, WarningSink warn = WarnOnStderr);

    // What one run produced, for the window and the offline decoder.
    struct Outcome {
        bool StatusComposed = false;
        bool ReportComposed = false;
    };

    // Gust maximum, direction average, count, "Zähler" row, status line, report; each statement
    // under the decoder's error handler. Leaves the report in call.AprsText for the raw log.
    Outcome Run(DecodeCall& call);

    // "Zähler=0": the next valid set restarts the average, sends a report and starts a new cycle.
    void ResetCounter() { counter_ = 0; }

    int Counter() const { return counter_; }
    double GustMax() const { return gustMax_; }
    double GustDirection() const { return gustDirection_; }
    double AvgDirection() const { return avgDirection_; }
    const Bytes& StatusText() const { return statusText_; }
    // False when the source callsign is unset or a placeholder: reports are composed, not sent.
    bool TransmissionEnabled() const { return transmit_; }

  private:
    void UpdateGust(const Readings& slots);
    void UpdateAverage(const Readings& slots);
    Bytes StatusLine(const LocalTime& now, const DecodeCall& c) const;
    void Transmit(BytesView aprsText);

    ReportSettings settings_;
    FrameSink* frames_;
    WarningSink warn_;
    bool transmit_;
    bool warned_ = false;

    std::int16_t counter_ = 0;
    double gustMax_ = 0;
    double gustDirection_ = 0;
    double avgDirection_ = 0;
    Bytes statusText_;
};

}  // namespace ombrix
