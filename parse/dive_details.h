// SPDX-License-Identifier: MIT
// What a dive computer recorded beyond a dive's summary and its five profile columns: the
// pressure of every tank, the other sample kinds as named columns, every event, and the summary
// fields. Each is collected only when the application takes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace divebridge {

// The details an application takes; a download collects none of the others.
struct DetailKinds {
    bool tankPressures = false;
    bool sampleColumns = false;
    bool events = false;
    bool fields = false;

    bool anyFromSamples() const { return tankPressures || sampleColumns || events; }
};

// One cell per profile row (the row of each time sample), NaN where the row has none.
using DetailColumn = std::vector<float>;

struct NamedColumn {
    std::string name;
    DetailColumn cells;
};

// Every event in arrival order, with libdivecomputer's unsigned numbers kept bit for bit. `rows`
// holds the profile row each came in, -1 before the first time sample.
struct DiveEvents {
    std::vector<std::int32_t> rows;
    std::vector<std::int32_t> types;
    std::vector<std::int32_t> times;
    std::vector<std::int32_t> flags;
    std::vector<std::int32_t> values;
};

// A summary field the parser reported, by the name the application knows it by.
struct DiveField {
    const char *name;
    double value;
};

struct DiveDetails {
    std::vector<DetailColumn> tankPressures;  // index = the tank number the samples name
    std::vector<NamedColumn> sampleColumns;   // only the kinds the dive reported
    DiveEvents events;
    std::vector<DiveField> fields;
};

}  // namespace divebridge
