// SPDX-License-Identifier: MIT
#include "bridge/java_dive_details.h"

#include "bridge/host_call.h"
#include "parse/parser_adapter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace divebridge {
namespace {

constexpr float absent = std::numeric_limits<float>::quiet_NaN();
constexpr unsigned int unknownGasMix = 0xFFFFFFFFu;

// Walks a list the parser read with gaps: yields, for each of its indices, the entry read or null.
template <typename Entry>
class IndexedEntries {
  public:
    IndexedEntries(const std::vector<Entry> &read, const std::vector<std::uint32_t> &unread)
        : read(read), unread(unread) {}

    std::size_t count() const { return read.size() + unread.size(); }

    const Entry *next() {
        if (nextUnread < unread.size() && unread[nextUnread] == index) {
            ++nextUnread;
            ++index;
            return nullptr;
        }
        ++index;
        return &read[nextRead++];
    }

  private:
    const std::vector<Entry> &read;
    const std::vector<std::uint32_t> &unread;
    std::size_t nextRead = 0;
    std::size_t nextUnread = 0;
    std::uint32_t index = 0;
};

// A fraction that is not finite is no measurement: the mix is handed over as one not read.
float percentOf(double fraction) {
    return std::isfinite(fraction) ? static_cast<float>(fraction * 100.0) : absent;
}

void handGasMixes(JNIEnv *env, const HostJava &java, const DiveRecord &record, jobject dive) {
    IndexedEntries<dc_gasmix_t> mixes(record.gasMixes, record.unreadGasMixes);
    std::vector<float> oxygen, helium;
    std::vector<std::int32_t> usage;
    for (std::size_t i = 0; i < mixes.count(); ++i) {
        const dc_gasmix_t *mix = mixes.next();
        oxygen.push_back(mix != nullptr ? percentOf(mix->oxygen) : absent);
        helium.push_back(mix != nullptr ? percentOf(mix->helium) : absent);
        usage.push_back(mix != nullptr ? usageOf(*mix) : 0);
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetGasMixes, oxygen, helium, usage);
}

struct TankColumns {
    std::vector<std::int32_t> gasMix;
    std::vector<float> volume, workPressure, beginPressure, endPressure;
    std::vector<std::int32_t> volumeType, usage;

    void add(const dc_tank_t &tank) {
        gasMix.push_back(tank.gasmix == unknownGasMix ? -1
                                                      : static_cast<std::int32_t>(tank.gasmix));
        volume.push_back(static_cast<float>(tank.volume));
        workPressure.push_back(static_cast<float>(tank.workpressure));
        beginPressure.push_back(static_cast<float>(tank.beginpressure));
        endPressure.push_back(static_cast<float>(tank.endpressure));
        volumeType.push_back(static_cast<std::int32_t>(tank.type));
        usage.push_back(usageOf(tank));
    }

    void addUnread() {
        gasMix.push_back(-1);
        for (std::vector<float> *column : {&volume, &workPressure, &beginPressure, &endPressure}) {
            column->push_back(absent);
        }
        volumeType.push_back(0);
        usage.push_back(0);
    }
};

void handTanks(JNIEnv *env, const HostJava &java, const DiveRecord &record, jobject dive) {
    IndexedEntries<dc_tank_t> tanks(record.tanks, record.unreadTanks);
    TankColumns columns;
    for (std::size_t i = 0; i < tanks.count(); ++i) {
        const dc_tank_t *tank = tanks.next();
        if (tank != nullptr) {
            columns.add(*tank);
        } else {
            columns.addUnread();
        }
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetTanks, columns.gasMix, columns.volume,
                           columns.workPressure, columns.beginPressure, columns.endPressure,
                           columns.volumeType, columns.usage);
}

// The cells of the handed-over rows.
std::vector<float> handedCells(const DetailColumn &column, const std::vector<std::uint32_t> &rows) {
    std::vector<float> cells;
    cells.reserve(rows.size());
    for (const std::uint32_t row : rows) {
        cells.push_back(column[row]);
    }
    return cells;
}

void handTankPressures(JNIEnv *env, const HostJava &java, const DiveRecord &record,
                       const std::vector<std::uint32_t> &rows, jobject dive) {
    std::vector<std::vector<float>> pressures;
    for (const DetailColumn &column : record.details.tankPressures) {
        pressures.push_back(handedCells(column, rows));
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetTankPressures, pressures);
}

void handSampleColumns(JNIEnv *env, const HostJava &java, const DiveRecord &record,
                       const std::vector<std::uint32_t> &rows, jobject dive) {
    std::vector<std::string> names;
    std::vector<std::vector<float>> columns;
    for (const NamedColumn &column : record.details.sampleColumns) {
        names.push_back(column.name);
        columns.push_back(handedCells(column.cells, rows));
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetSampleColumns, names, columns);
}

void handEvents(JNIEnv *env, const HostJava &java, const DiveRecord &record,
                const std::vector<std::uint32_t> &rows, jobject dive) {
    const DiveEvents &events = record.details.events;
    std::vector<std::int32_t> handedRows;
    handedRows.reserve(events.rows.size());
    for (const std::int32_t row : events.rows) {
        handedRows.push_back(handedRowOf(row, rows));
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetEvents, handedRows, events.types,
                           events.times, events.flags, events.values);
}

void handDiveFields(JNIEnv *env, const HostJava &java, const DiveRecord &record, jobject dive) {
    std::vector<std::string> names;
    std::vector<double> values;
    for (const DiveField &field : record.details.fields) {
        names.emplace_back(field.name);
        values.push_back(field.value);
    }
    callHostMethodOf<void>(env, java, dive, HostMethod::SetDiveFields, names, values);
}

}  // namespace

std::int32_t handedRowOf(std::int32_t row, const std::vector<std::uint32_t> &rows) {
    if (row < 0) {
        return -1;
    }
    const auto after = std::upper_bound(rows.begin(), rows.end(), static_cast<std::uint32_t>(row));
    return static_cast<std::int32_t>(after - rows.begin()) - 1;
}

void handDiveDetails(JNIEnv *env, const HostJava &java, const DiveRecord &record,
                     const std::vector<std::uint32_t> &rows, jobject dive) {
    if (java[HostMethod::SetGasMixes] != nullptr) {
        handGasMixes(env, java, record, dive);
    }
    if (java[HostMethod::SetTanks] != nullptr) {
        handTanks(env, java, record, dive);
    }
    if (java[HostMethod::SetTankPressures] != nullptr) {
        handTankPressures(env, java, record, rows, dive);
    }
    if (java[HostMethod::SetSampleColumns] != nullptr) {
        handSampleColumns(env, java, record, rows, dive);
    }
    if (java[HostMethod::SetEvents] != nullptr) {
        handEvents(env, java, record, rows, dive);
    }
    if (java[HostMethod::SetDiveFields] != nullptr) {
        handDiveFields(env, java, record, dive);
    }
}

}  // namespace divebridge
