// The window's table of measured quantities and the per-call readings for the radio report.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "station/errors.h"

namespace ombrix {

constexpr int kColumnCount = 11;

// Column 0 is the row's own text ("Messgroesse"), columns 1..10 its sub-items. UTF-8 texts; a cell
// the decoder does not set stays empty.
using TableRow = std::array<std::string, kColumnCount>;

// The columns by their headers. Rows use them as they see fit: "Zeit" shows its alarm time under
// "Alarm Maximum", "Zähler" the time and the mean direction under the extremes.
enum class Column {
    Name,          // "Messgroesse", the quantity
    Current,       // "Aktuell"
    Maximum,       // "Maximum"
    MaximumAt,     // "Maximum Zeit,Datum"
    Minimum,       // "Minimum"
    MinimumAt,     // "Minimum Zeit,Datum"
    AlarmMaximum,  // "Alarm Maximum"
    AlarmMinimum,  // "Alarm Minimum"
    AlarmSet,      // "Alarm Set"
    DisplayUnit,   // "Display-Einheit"
    Extras,        // "Extras"
};
static_assert(static_cast<int>(Column::Extras) == kColumnCount - 1);

class MeasurementTable {
  public:
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const TableRow& Row(int index) const { return rows_.at(static_cast<std::size_t>(index - 1)); }
    const std::vector<TableRow>& Rows() const { return rows_; }

    // Appends a row with the given text and returns its 1-based index.
    int AppendRow(std::string text) {
        rows_.emplace_back();
        rows_.back()[0] = std::move(text);
        return RowCount();
    }
    // Sets one of columns 1..10 of row `index`.
    void SetSubItem(int index, Column column, std::string text) {
        const int subItem = static_cast<int>(column);
        if (index < 1 || index > RowCount() || subItem < 1 || subItem >= kColumnCount)
            Raise(kSubscriptOutOfRange);
        rows_[static_cast<std::size_t>(index - 1)][static_cast<std::size_t>(subItem)] =
            std::move(text);
    }
    void Clear() { rows_.clear(); }

  private:
    std::vector<TableRow> rows_;
};

struct Reading {
    std::string Name;
    float Value = 0.0F;
    std::string Unit;
};

// The slots the decoders fill, with the outdoor values the report stage and the raw log read.
enum class Slot {
    OutdoorHumidity = 4,     // "Luftfeuchte", %
    OutdoorTemperature = 6,  // "Temperatur", °C
    SeaLevelPressure = 8,    // "Luftdruck", mb
    OutdoorDewPoint = 10,    // "Taupunkt", °C
    RainHour = 11,           // "Niederschlag in der letzten Stunde", mm
    RainToday = 12,          // "Niederschlag heute (seit 00:00 Uhr)", mm
    GustSpeed = 14,          // "Windgeschwindigkeit Spitzenwert", km/h
    GustDirection = 15,      // "Windrichtung des Spitzenwertes", °
    MeanSpeed = 16,          // "Windgeschwindigkeit Mittelwert", km/h
    MeanDirection = 17,      // "Windrichtung des Mittelwertes", °
    WindChill = 18,          // "gefühlte Temperatur", °C
};

// Slots 0..20, of which the decoders fill those named by Slot.
class Readings {
  public:
    Reading& operator[](Slot slot) { return (*this)[static_cast<int>(slot)]; }
    const Reading& operator[](Slot slot) const { return (*this)[static_cast<int>(slot)]; }
    Reading& operator[](int slot) {
        if (slot < 0 || slot >= static_cast<int>(slots_.size())) Raise(kSubscriptOutOfRange);
        return slots_[static_cast<std::size_t>(slot)];
    }
    const Reading& operator[](int slot) const {
        if (slot < 0 || slot >= static_cast<int>(slots_.size())) Raise(kSubscriptOutOfRange);
        return slots_[static_cast<std::size_t>(slot)];
    }

  private:
    std::array<Reading, 21> slots_{};
};

}  // namespace ombrix
