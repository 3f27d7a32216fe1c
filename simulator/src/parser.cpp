// SPDX-License-Identifier: MIT
#include "parser.h"

#include "status_error.h"

#include <algorithm>
#include <cstring>

namespace dcsim {
namespace {

dc_status_t asStatus(int fault) {
    return static_cast<dc_status_t>(fault);
}

// Release 0.9 tells what a gas is for; earlier ones do not.
dc_gasmix_t reported(const Gasmix &mix) {
    dc_gasmix_t out{};
    out.helium = mix.helium;
    out.oxygen = mix.oxygen;
    out.nitrogen = mix.nitrogen;
#ifdef DCSIM_RELEASE_0_9
    out.usage = static_cast<dc_usage_t>(mix.usage);
#endif
    return out;
}

dc_tank_t reported(const Tank &tank) {
    dc_tank_t out{};
    out.gasmix = tank.gasmix;
    out.type = tank.type;
    out.volume = tank.volume;
    out.workpressure = tank.workpressure;
    out.beginpressure = tank.beginpressure;
    out.endpressure = tank.endpressure;
#ifdef DCSIM_RELEASE_0_9
    out.usage = static_cast<dc_usage_t>(tank.usage);
#endif
    return out;
}

// The bytes keep the dive mode by the numbers of generation B. Release 0.6 had one closed circuit
// mode, which semi-closed dives were reported as.
dc_divemode_t reportedDivemode(std::uint32_t mode) {
#ifdef DCSIM_GENERATION_B
    return static_cast<dc_divemode_t>(mode);
#else
    return static_cast<dc_divemode_t>(std::min<std::uint32_t>(mode, DC_DIVEMODE_CC));
#endif
}

#ifdef DCSIM_GENERATION_B
dc_decomodel_t reportedDecoModel(const DecoModel &model) {
    dc_decomodel_t out{};
    out.type = static_cast<dc_decomodel_type_t>(model.type);
    out.conservatism = model.conservatism;
    out.params.gf.high = model.gfHigh;
    out.params.gf.low = model.gfLow;
    return out;
}
#endif

#ifdef DCSIM_RELEASE_0_9
dc_location_t reportedLocation(const Location &location) {
    return {location.latitude, location.longitude, location.altitude};
}
#endif

// A field the bytes keep in their own form, written in the release's.
template <typename Value, typename Report>
dc_status_t answerReported(int fault, const std::optional<Value> &field, void *out,
                           Report &&report) {
    if (fault != 0) {
        return asStatus(fault);
    }
    if (!field) {
        return DC_STATUS_UNSUPPORTED;
    }
    const auto value = report(*field);
    std::memcpy(out, &value, sizeof value);
    return DC_STATUS_SUCCESS;
}

template <typename Value>
dc_status_t answerValue(int fault, const std::optional<Value> &field, void *out) {
    return answerReported(fault, field, out, [](const Value &value) { return value; });
}

// An entry of the gas mix or tank list: its fault first, then whether the dive holds it.
template <typename Entry>
dc_status_t answerEntry(const IndexFaults &faults, const std::vector<Entry> &entries,
                        unsigned int index, void *out) {
    const auto fault = std::find_if(faults.begin(), faults.end(),
                                    [&](const auto &item) { return item.first == index; });
    if (fault != faults.end() && fault->second != 0) {
        return asStatus(fault->second);
    }
    if (index >= entries.size()) {
        return DC_STATUS_INVALIDARGS;
    }
    *static_cast<decltype(reported(entries[index])) *>(out) = reported(entries[index]);
    return DC_STATUS_SUCCESS;
}

// As called from C: a callback that throws ends the process. Release 0.9 passes a pointer.
void callSample(dc_sample_callback_t callback, dc_sample_type_t type,
                const dc_sample_value_t &value, void *userdata) noexcept {
#ifdef DCSIM_RELEASE_0_9
    callback(type, &value, userdata);
#else
    callback(type, value, userdata);
#endif
}

}  // namespace

dc_status_t Parser::setData(const unsigned char *data, std::size_t size) {
    dive_.reset();
    destroyFault_ = 0;
    if (data == nullptr) {
        return DC_STATUS_INVALIDARGS;
    }
    DecodedDive dive;
    try {
        dive = decodeDive(data, size);
    } catch (const FormatError &) {
        return DC_STATUS_DATAFORMAT;
    }
    destroyFault_ = dive.faults.destroy;
    if (dive.faults.setData != 0) {
        return asStatus(dive.faults.setData);
    }
    dive_ = std::move(dive);
    return DC_STATUS_SUCCESS;
}

dc_status_t Parser::datetime(dc_datetime_t *datetime) const {
    if (!dive_ || datetime == nullptr) {
        return DC_STATUS_INVALIDARGS;
    }
    return answerValue(dive_->faults.datetime, dive_->summary.datetime, datetime);
}

dc_status_t Parser::field(unsigned int field, unsigned int flags, void *value) const {
    if (!dive_ || value == nullptr) {
        return DC_STATUS_INVALIDARGS;
    }
    const auto &summary = dive_->summary;
    const auto &faults = dive_->faults;
    switch (field) {
        case DC_FIELD_DIVETIME:
            return answerValue(faults.divetime, summary.divetime, value);
        case DC_FIELD_MAXDEPTH:
            return answerValue(faults.maxdepth, summary.maxdepth, value);
        case DC_FIELD_AVGDEPTH:
            return answerValue(faults.avgdepth, summary.avgdepth, value);
        case DC_FIELD_TEMPERATURE_MINIMUM:
            return answerValue(faults.temperatureMinimum, summary.temperatureMinimum, value);
        case DC_FIELD_TEMPERATURE_SURFACE:
            return answerValue(faults.temperatureSurface, summary.temperatureSurface, value);
        case DC_FIELD_TEMPERATURE_MAXIMUM:
            return answerValue(faults.temperatureMaximum, summary.temperatureMaximum, value);
        case DC_FIELD_ATMOSPHERIC:
            return answerValue(faults.atmospheric, summary.atmospheric, value);
        case DC_FIELD_SALINITY:
            return answerValue(faults.salinity, summary.salinity, value);
        case DC_FIELD_DIVEMODE:
            return answerReported(faults.divemode, summary.divemode, value, reportedDivemode);
#ifdef DCSIM_GENERATION_B
        case DC_FIELD_DECOMODEL:
            return answerReported(faults.decomodel, summary.decomodel, value, reportedDecoModel);
#endif
#ifdef DCSIM_RELEASE_0_9
        case DC_FIELD_LOCATION:
            return answerReported(faults.location, summary.location, value, reportedLocation);
#endif
        case DC_FIELD_GASMIX_COUNT:
            return answerValue(faults.gasmixCount, std::optional(summary.gasmixCount), value);
        case DC_FIELD_TANK_COUNT:
            return answerValue(faults.tankCount, std::optional(summary.tankCount), value);
        case DC_FIELD_GASMIX:
            return answerEntry(faults.gasmix, summary.gasmixes, flags, value);
        case DC_FIELD_TANK:
            return answerEntry(faults.tank, summary.tanks, flags, value);
        default:
            return DC_STATUS_UNSUPPORTED;
    }
}

dc_status_t Parser::samplesForeach(dc_sample_callback_t callback, void *userdata) const {
    if (!dive_) {
        return DC_STATUS_INVALIDARGS;
    }
    const DecodedDive &dive = *dive_;
    const bool faulty = dive.faults.samplesForeach != 0;
    const std::uint32_t count =
        faulty ? std::min(dive.sampleCount, dive.faults.samplesAfter) : dive.sampleCount;
    if (callback != nullptr) {
        dc_sample_type_t type;
        dc_sample_value_t value;
        for (std::uint32_t index = 0; index < count; ++index) {
            decodeSample(dive, index, type, value);
            callSample(callback, type, value, userdata);
        }
    }
    return faulty ? asStatus(dive.faults.samplesForeach) : DC_STATUS_SUCCESS;
}

dc_status_t Parser::destroyStatus() const {
    return asStatus(destroyFault_);
}

}  // namespace dcsim
