#include "decode/decoder.h"

#include "station/telegram_set.h"

namespace ombrix {

void DecodeCall::Row(std::string text) {
    decoder_.newItem_ = decoder_.table_.AppendRow(std::move(text));
}

void DecodeCall::SetCell(Column column, std::string text) {
    if (decoder_.newItem_ == 0) Raise(kSubscriptOutOfRange);
    decoder_.table_.SetSubItem(decoder_.newItem_, column, std::move(text));
}

std::string DecodeCall::Value(double x, NumberPattern pattern, std::string_view unit) const {
    return ValueText(x, pattern, unit, decoder_.separator_);
}

std::string DecodeCall::Format(double x, NumberPattern pattern) const {
    return FormatNumber(x, pattern, decoder_.separator_);
}

MeasurementTable& DecodeCall::Table() {
    return decoder_.table_;
}

LocalTime DecodeCall::Now() const {
    return decoder_.clock_();
}

Decoder::Decoder(std::string decimalSeparator, Clock clock, ErrorSink errorLog)
    : separator_(std::move(decimalSeparator)),
      clock_(std::move(clock)),
      errorLog_(std::move(errorLog)) {}

bool Decoder::ChecksumOk(BytesView group) {
    const GroupChecksum sum = CheckGroup(group);
    const int row = table_.AppendRow(NumberText(sum.Computed));
    table_.SetSubItem(row, Column::Current, NumberText(sum.Received));
    return sum.Ok();
}

void Decoder::Record(const RuntimeError& error, const DecodeCall& call) {
    if (!errorLog_) return;
    try {
        DecodeError event{error, clock_(), call.NibbleString, 0, {}};
        if (newItem_ >= 1 && newItem_ <= table_.RowCount()) {
            event.NewItem = newItem_;
            event.Row = table_.Row(newItem_);
        }
        errorLog_(event);
    } catch (...) {
        // A record that cannot be written is dropped; decoding goes on.
    }
}

SetOutcome Decoder::DecodeTelegramSet(BytesView set, SetSource source) {
    DecodeCall call(*this);
    call.Reading.Source = source;
    newItem_ = 0;
    table_.Clear();
    if (set.size() != kTelegramSetLength) return SetOutcome::WrongLength;

    bool ok = true;
    for (const GroupBounds& g : kGroups) ok = ChecksumOk(Mid(set, g.First, g.Length)) && ok;
    if (!ok) return SetOutcome::ChecksumFailed;

    call.NibbleString = BuildNibbleString(set);
    table_.Clear();

    DecodeClock(call);
    DecodeHumidity(call);
    DecodeTemperature(call);
    DecodeBarometer(call);
    DecodeDewPoint(call);
    DecodeRain(call);
    DecodeWind(call);
    DecodeDisplayState(call);
    for (const Stage& stage : stages_) stage(call);
    return SetOutcome::Valid;
}

}  // namespace ombrix
