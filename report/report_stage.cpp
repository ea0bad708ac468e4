#include "report/report_stage.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "report/aprs_fields.h"
#include "station/primitives.h"

namespace ombrix {

namespace {

// Whole number with halves to the even neighbour, as the averaging has always rounded.
long long RoundHalfEven(double x) {
    return static_cast<long long>(std::nearbyint(x));
}

double Value(const Readings& slots, Slot slot) {
    return static_cast<double>(slots[slot].Value);
}

}  // namespace

void WarnOnStderr(const std::string& line) {
    std::fputs((line + "\n").c_str(), stderr);
    std::fflush(stderr);
}

double DecimalValue(float reading) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, reading);
    double value = 0;
    if (written.ec != std::errc() || std::from_chars(text, written.ptr, value).ec != std::errc())
        return static_cast<double>(reading);
    return value;
}

Bytes AprsText(BytesView lage, const ReportValues& v) {
    Bytes text = "!";
    text += lage;
    text += v.Direction > 360 ? Bytes("...") : AprsField3(v.Direction);
    text += "/";
    text += AprsField3(v.MeanSpeed / kKmhPerMph);
    text += "g";
    text += AprsField3(v.Gust / kKmhPerMph);
    text += "t";
    text += AprsTemperatureField(Fahrenheit(v.Temperature));
    text += "r";
    text += AprsField3(v.RainHour * 100 / kMmPerInch);
    text += "P";
    text += AprsField3(v.RainToday * 100 / kMmPerInch);
    text += "h";
    text += AprsHumidityField(v.Humidity);
    text += "b";
    text += v.Pressure ? AprsPressureField(*v.Pressure) : Bytes(".....");
    return text;
}

ReportStage::ReportStage(ReportSettings settings, FrameSink* frames, WarningSink warn)
    : settings_(std::move(settings)),
      frames_(frames),
      warn_(std::move(warn)),
      transmit_(IsAssignedCallsign(settings_.AddressCalls[1])) {}

void ReportStage::UpdateGust(const Readings& slots) {
    // Both comparisons use <=, so on equal speeds the peak supplies the direction.
    if (gustMax_ <= Value(slots, Slot::MeanSpeed)) {
        gustMax_ = Value(slots, Slot::MeanSpeed);
        gustDirection_ = Value(slots, Slot::MeanDirection);
    }
    if (gustMax_ <= Value(slots, Slot::GustSpeed)) {
        gustMax_ = Value(slots, Slot::GustSpeed);
        gustDirection_ = Value(slots, Slot::GustDirection);
    }
}

void ReportStage::UpdateAverage(const Readings& slots) {
    const double direction = Value(slots, Slot::MeanDirection);
    if (counter_ == 0) {
        avgDirection_ = direction;  // a new cycle starts with the current mean direction
        return;
    }
    double d = static_cast<double>(RoundHalfEven(direction));
    // Keep an average and a new direction on either side of north together.
    if (std::fabs(avgDirection_ - direction) > 180) {
        if (avgDirection_ > direction) {
            d += 360;
        } else {
            avgDirection_ += 360;
        }
    }
    avgDirection_ = (avgDirection_ * counter_ + d) / (counter_ + 1);
    avgDirection_ = static_cast<double>(RoundHalfEven(avgDirection_) % 360);
}

Bytes ReportStage::StatusLine(const LocalTime& now, const DecodeCall& c) const {
    const Readings& slots = c.Slots;
    const auto f = [&](double x, NumberPattern pattern) { return c.Format(x, pattern); };
    Bytes line = f(now.Hour, "00");
    line += " " + f(now.Minute, "00");
    line += " " + f(Value(slots, Slot::OutdoorTemperature), "##0");
    line += " " + f(Value(slots, Slot::WindChill), "##0");
    line += " " + f(Value(slots, Slot::OutdoorDewPoint), "#0");
    line += " " + f(Value(slots, Slot::RainHour), "##0");
    line += " " + f(Value(slots, Slot::RainToday), "###0");
    line += " " + f(Value(slots, Slot::MeanSpeed), "##0");
    line += " " + f(avgDirection_, "##0");
    line += " " + f(gustMax_, "##0");
    line += " " + f(gustDirection_, "##0");
    line += " " + f(Value(slots, Slot::SeaLevelPressure), "###0");
    line += " " + f(Value(slots, Slot::OutdoorHumidity), "##0");
    return line;
}

void ReportStage::Transmit(BytesView aprsText) {
    if (!transmit_) {
        if (!warned_ && warn_) {
            warned_ = true;
            const Bytes& call = settings_.AddressCalls[1];
            warn_(
                "Ombrix: Wetterbericht wird nicht gesendet: kein eigenes Rufzeichen eingestellt "
                "(\"CallFrom\" ist " +
                (call.empty() ? std::string("leer") : "\"" + call + "\"") + ").");
        }
        return;
    }
    SendAx25Ui(frames_, settings_.AgwpePort, settings_.AddressCalls, aprsText);
}

ReportStage::Outcome ReportStage::Run(DecodeCall& c) {
    Outcome outcome;
    const Readings& slots = c.Slots;
    c.Do([&] { UpdateGust(slots); });
    c.Do([&] { UpdateAverage(slots); });
    c.Do([&] {
        if (++counter_ == kReportCycle) counter_ = 0;
    });

    c.Row("Zähler");
    c.Cell(Column::Current, [&] { return NumberText(counter_); });
    c.Cell(Column::MinimumAt, [&] { return NumberText(RoundHalfAway(avgDirection_)); });

    if (counter_ % kStatusEvery == 1) {
        const LocalTime now = c.Now();
        c.Cell(Column::Maximum, [&] { return NumberText(now.Hour); });
        c.Cell(Column::MaximumAt, [&] { return NumberText(now.Minute); });
        c.Do([&] {
            statusText_ = StatusLine(now, c);
            outcome.StatusComposed = true;
        });
    }

    if (counter_ == 1) {
        c.Do([&] {
            ReportValues v;
            v.Direction = avgDirection_;
            v.MeanSpeed = Value(slots, Slot::MeanSpeed);
            v.Gust = gustMax_;
            v.Temperature = DecimalValue(slots[Slot::OutdoorTemperature].Value);
            v.RainHour = Value(slots, Slot::RainHour);
            v.RainToday = Value(slots, Slot::RainToday);
            v.Humidity = Value(slots, Slot::OutdoorHumidity);
            if (c.Reading.SeaLevelPressure.State == QuantityState::NotDecoded)
                v.Pressure.reset();
            else
                v.Pressure = DecimalValue(slots[Slot::SeaLevelPressure].Value);
            c.AprsText = AprsText(settings_.Lage, v);
            outcome.ReportComposed = true;
        });
        c.Do([&] { gustMax_ = 0; });  // the gust maximum restarts after every report
        c.Do([&] { Transmit(c.AprsText); });
    }
    return outcome;
}

}  // namespace ombrix
