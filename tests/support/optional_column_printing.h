// SPDX-License-Identifier: MIT
// Comparisons and a GoogleTest printer for OptionalColumn, so that tests can compare a column with
// the cells they expect and read a failure.
#pragma once

#include "parse/dive_record.h"

#include <optional>
#include <ostream>
#include <vector>

namespace divebridge {

// Cell by cell, as std::optional compares: a NaN cell equals nothing, as it would in a vector.
template <typename T, typename Cells>
bool sameCells(const OptionalColumn<T> &column, const Cells &cells) {
    if (column.size() != cells.size()) {
        return false;
    }
    for (std::size_t index = 0; index < column.size(); ++index) {
        if (column[index] != cells[index]) {
            return false;
        }
    }
    return true;
}

template <typename T>
bool operator==(const OptionalColumn<T> &left, const OptionalColumn<T> &right) {
    return sameCells(left, right);
}
template <typename T>
bool operator!=(const OptionalColumn<T> &left, const OptionalColumn<T> &right) {
    return !(left == right);
}
template <typename T>
bool operator==(const OptionalColumn<T> &column, const std::vector<std::optional<T>> &cells) {
    return sameCells(column, cells);
}
template <typename T>
bool operator==(const std::vector<std::optional<T>> &cells, const OptionalColumn<T> &column) {
    return sameCells(column, cells);
}
template <typename T>
bool operator!=(const OptionalColumn<T> &column, const std::vector<std::optional<T>> &cells) {
    return !sameCells(column, cells);
}
template <typename T>
bool operator!=(const std::vector<std::optional<T>> &cells, const OptionalColumn<T> &column) {
    return !sameCells(column, cells);
}

// Prints a column for GoogleTest's failure messages, e.g. { 1.5, absent, 0 }.
template <typename T>
void PrintTo(const OptionalColumn<T> &column, std::ostream *out) {
    *out << '{';
    for (std::size_t index = 0; index < column.size(); ++index) {
        *out << (index == 0 ? " " : ", ");
        if (const std::optional<T> cell = column[index]) {
            *out << *cell;
        } else {
            *out << "absent";
        }
    }
    *out << " }";
}

}  // namespace divebridge
