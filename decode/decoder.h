// DecodeTelegramSet: checks one received set and rebuilds the measurement table from it, then
// hands the readings to the stages that follow (report, raw log).
//
// Every statement of the decoding runs under the error log's handler: a run-time error writes one
// record and decoding resumes with the next statement, so one bad field never costs the others.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "decode/measurement_table.h"
#include "decode/station_reading.h"
#include "station/bytes.h"
#include "station/clock.h"
#include "station/fields.h"
#include "station/primitives.h"

namespace ombrix {

class Decoder;

// What lives for one decoder call.
class DecodeCall {
  public:
    Bytes NibbleString = "zuvor";
    Readings Slots;
    StationReading Reading;
    Bytes AprsText;

    explicit DecodeCall(Decoder& decoder) : decoder_(decoder) {}

    // One statement under the error handler.
    template <class F>
    void Do(F&& statement);

    // Appends a quantity row; it becomes NewItem.
    void Row(std::string text);
    // Sets a column of NewItem to the text the function returns, as one statement.
    template <class F>
    void Cell(Column column, F&& text) {
        Do([&] { SetCell(column, text()); });
    }
    void SetCell(Column column, std::string text);
    // Fills a slot of the readings as three statements, name, value and unit, so that a value
    // that fails leaves the slot named and its unit set.
    template <class F>
    ombrix::Reading& FillSlot(Slot slot, const char* name, F&& value, const char* unit) {
        ombrix::Reading& reading = Slots[slot];
        Do([&] { reading.Name = name; });
        Do([&] { reading.Value = static_cast<float>(value()); });
        Do([&] { reading.Unit = unit; });
        return reading;
    }

    // A field of station/fields.h, read as ReadField reads it.
    template <class Field>
    auto Read(const Field& f) const {
        return ReadField(NibbleString, f);
    }
    std::string Stamp(const field::Stamp& s) const { return StampText(NibbleString, s); }
    std::string Value(double x, NumberPattern pattern, std::string_view unit) const;
    std::string Format(double x, NumberPattern pattern) const;
    MeasurementTable& Table();
    LocalTime Now() const;

  private:
    Decoder& decoder_;
};

enum class SetOutcome { WrongLength, ChecksumFailed, Valid };

// A run-time error of one decoder call, with what the error log records about it: when, the
// nibble string as far as it was built, and the row being filled with its cells.
struct DecodeError {
    RuntimeError Error;
    LocalTime When;
    Bytes NibbleString;
    int NewItem = 0;  // 1-based index of the row being filled, 0 for none
    TableRow Row;     // that row's cells, empty when there is none
};

class Decoder {
  public:
    using ErrorSink = std::function<void(const DecodeError& error)>;
    using Stage = std::function<void(DecodeCall&)>;

    Decoder(std::string decimalSeparator, Clock clock, ErrorSink errorLog);

    // The stages that run after the quantity rows of a valid set, in order.
    void AddStage(Stage stage) { stages_.push_back(std::move(stage)); }

    // The source goes into the call's reading; the decoder cannot tell one set from another.
    SetOutcome DecodeTelegramSet(BytesView set, SetSource source = SetSource::Station);

    const MeasurementTable& Table() const { return table_; }
    const std::string& DecimalSeparator() const { return separator_; }

  private:
    friend class DecodeCall;

    bool ChecksumOk(BytesView group);
    void Record(const RuntimeError& error, const DecodeCall& call);

    std::string separator_;
    Clock clock_;
    ErrorSink errorLog_;
    std::vector<Stage> stages_;
    MeasurementTable table_;
    int newItem_ = 0;  // 1-based row index of the row being filled, 0 for none
};

template <class F>
void DecodeCall::Do(F&& statement) {
    try {
        std::forward<F>(statement)();
    } catch (const RuntimeError& error) {
        decoder_.Record(error, *this);
    }
}

// The group decoders, in the order of the table's rows.
void DecodeClock(DecodeCall& c);
void DecodeHumidity(DecodeCall& c);
void DecodeTemperature(DecodeCall& c);
void DecodeBarometer(DecodeCall& c);
void DecodeDewPoint(DecodeCall& c);
void DecodeRain(DecodeCall& c);
void DecodeWind(DecodeCall& c);
void DecodeDisplayState(DecodeCall& c);

}  // namespace ombrix
