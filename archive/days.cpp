#include "archive/days.h"

#include <cmath>

namespace ombrix {

std::vector<DaySummary> SummariseDays(const std::vector<ArchiveRecord>& records,
                                      int intervalSeconds, const LocalDayOf& dayOf) {
    std::vector<DaySummary> days;
    double outTempSum = 0;
    int outTempCount = 0;
    const auto finishMean = [&] {
        if (outTempCount > 0) days.back().OutTempMean = outTempSum / outTempCount;
        outTempSum = 0;
        outTempCount = 0;
    };
    for (const ArchiveRecord& record : records) {
        // A record covers the seconds up to and including its dateTime: one ending at midnight
        // belongs to the day that midnight closes.
        const LocalDay day = dayOf(record.DateTime - 1);
        if (days.empty() || days.back().Day.Start != day.Start) {
            if (!days.empty()) finishMean();
            DaySummary& fresh = days.emplace_back();
            fresh.Day = day;
            fresh.Expected = static_cast<int>((day.End - day.Start) / intervalSeconds);
        }
        DaySummary& summary = days.back();
        ++summary.Records;
        // Strict comparisons keep the first record of equal extremes: the time a value was
        // first reached.
        if (record.OutTemp) {
            const TimedValue value{*record.OutTemp, record.DateTime};
            if (!summary.OutTempLow || value.Value < summary.OutTempLow->Value)
                summary.OutTempLow = value;
            if (!summary.OutTempHigh || value.Value > summary.OutTempHigh->Value)
                summary.OutTempHigh = value;
            outTempSum += value.Value;
            ++outTempCount;
        }
        if (record.WindGust && (!summary.GustHigh || *record.WindGust > summary.GustHigh->Value)) {
            summary.GustHigh = TimedValue{*record.WindGust, record.DateTime};
            summary.GustDir = record.WindGustDir;
        }
        if (record.Rain) {
            // Micrometres, as in the records, so that the sum of decimal amounts stays decimal.
            summary.Rain = std::round((summary.Rain.value_or(0) + *record.Rain) * 1e6) / 1e6;
        }
        if (record.Barometer) {
            if (!summary.BarometerLow || *record.Barometer < *summary.BarometerLow)
                summary.BarometerLow = record.Barometer;
            if (!summary.BarometerHigh || *record.Barometer > *summary.BarometerHigh)
                summary.BarometerHigh = record.Barometer;
        }
    }
    if (!days.empty()) finishMean();
    return days;
}

}  // namespace ombrix
