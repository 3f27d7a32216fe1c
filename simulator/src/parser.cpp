// SPDX-License-Identifier: MIT
#include "parser.h"

#include "status_error.h"

#include <algorithm>

namespace dcsim {
namespace {

dc_status_t asStatus(int fault) {
    return static_cast<dc_status_t>(fault);
}

template <typename Value>
dc_status_t answerValue(int fault, const std::optional<Value> &field, void *out) {
    if (fault != 0) {
        return asStatus(fault);
    }
    if (!field) {
        return DC_STATUS_UNSUPPORTED;
    }
    *static_cast<Value *>(out) = *field;
    return DC_STATUS_SUCCESS;
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
    *static_cast<Entry *>(out) = entries[index];
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
