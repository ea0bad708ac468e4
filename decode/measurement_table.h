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
    void SetSubItem(int index, int subItem, std::string text) {
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

// Slots 0..20; the decoders fill 4, 6, 8, 10, 11, 12 and 14 to 18.
class Readings {
  public:
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
