// SPDX-License-Identifier: MIT
// The native form of one downloaded dive: summary values, gas mixes, tanks and the sample table.
#pragma once

#include "parse/dive_details.h"

#include <libdivecomputer/datetime.h>
#include <libdivecomputer/parser.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace divebridge {

// An optional cell holds its value inline: absent and present-with-zero stay apart, copies are
// independent values, and a cell costs no allocation of its own.
using OptionalFloat = std::optional<float>;
using OptionalDouble = std::optional<double>;
using OptionalInt = std::optional<std::int32_t>;

// A column of optional cells kept as plain values beside a bitmap of presence, one bit a cell:
// a float cell costs 4 bytes and an eighth instead of the 8 of std::optional<float>, so even a
// column that doubling left half unused stays smaller than a tightly fitted vector of optionals.
// Cells after the last present one are absent without being stored, so a column that never gets
// a value (events on a quiet dive, pressures without a transmitter) costs no memory. A stored
// absent cell holds T{} and a clear bit; bits past the stored cells are always clear.
template <typename T>
class OptionalColumn {
  public:
    OptionalColumn() = default;
    OptionalColumn(std::initializer_list<std::optional<T>> cells) {
        for (const std::optional<T> &cell : cells) {
            push(cell);
        }
    }

    void push(T value) {
        const std::size_t index = size_;
        if (values_.size() < index) {
            storeAbsentCellsBefore(index);
        }
        if (index % bitsPerWord == 0) {
            presence_.push_back(0);
        }
        values_.push_back(value);
        presence_.back() |= static_cast<Word>(1u << (index % bitsPerWord));
        size_ = index + 1;
    }

    void push(const std::optional<T> &cell) {
        if (cell) {
            push(*cell);
        } else {
            padTo(size_ + 1);
        }
    }

    void clear() noexcept {
        values_.clear();
        presence_.clear();
        size_ = 0;
    }

    // Appends absent cells until the column holds at least `length`; never shortens it.
    void padTo(std::size_t length) noexcept {
        if (size_ < length) {
            size_ = length;
        }
    }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    std::optional<T> operator[](std::size_t index) const {
        if (index < values_.size() &&
            presence_[index / bitsPerWord] >> (index % bitsPerWord) & 1u) {
            return values_[index];
        }
        return std::nullopt;
    }

    // Heap bytes the column holds, spare capacity included.
    std::size_t allocatedBytes() const noexcept {
        return values_.capacity() * sizeof(T) + presence_.capacity() * sizeof(Word);
    }

  private:
    // Byte-wide words: a one-row column then needs a single spare byte, not eight.
    using Word = std::uint8_t;
    static constexpr std::size_t bitsPerWord = 8;

    void storeAbsentCellsBefore(std::size_t index) {
        values_.resize(index);
        presence_.resize((index + bitsPerWord - 1) / bitsPerWord);
    }

    std::vector<T> values_;
    std::vector<Word> presence_;
    std::size_t size_ = 0;
};

// One row per time sample: cell i of every column belongs to row i (see padColumns).
struct DiveProfile {
    std::uint32_t rowCount = 0;
    OptionalColumn<float> times;          // seconds since the start of the dive
    OptionalColumn<float> depths;         // metres
    OptionalColumn<float> pressures;      // bar
    OptionalColumn<float> temperatures;   // degrees Celsius
    OptionalColumn<std::int32_t> events;  // libdivecomputer's event type code
};

struct DiveRecord {
    std::vector<dc_gasmix_t> gasMixes;  // the mixes the parser could read, in its index order
    std::vector<dc_tank_t> tanks;       // likewise the tanks
    // The parser's indices of the mixes and tanks it could not read, left out above.
    std::vector<std::uint32_t> unreadGasMixes;
    std::vector<std::uint32_t> unreadTanks;
    OptionalDouble averageDepth;        // metres
    OptionalDouble minimumTemperature;  // degrees Celsius
    dc_datetime_t dateTime{};           // all zero when the dive computer does not report it
    double diveTime = 0;                // seconds
    double maxDepth = 0;                // metres
    DiveProfile profile;
    DiveDetails details;  // only what the application takes
};

}  // namespace divebridge
