// SPDX-License-Identifier: MIT
// The simulated parser: reads the bytes of the dive codec and answers what they carry.
#ifndef DCSIM_PARSER_H
#define DCSIM_PARSER_H

#include "dive_codec.h"

#include <libdivecomputer/parser.h>

#include <cstddef>
#include <optional>

namespace dcsim {

class Parser {
  public:
    // Validates the whole buffer once; the parser keeps pointing into it, as libdivecomputer's
    // parsers do, so the caller keeps it alive while the parser reads it.
    dc_status_t setData(const unsigned char *data, std::size_t size);
    dc_status_t datetime(dc_datetime_t *datetime) const;
    // field is a dc_field_type_t number.
    dc_status_t field(unsigned int field, unsigned int flags, void *value) const;
    dc_status_t samplesForeach(dc_sample_callback_t callback, void *userdata) const;
    // The status dc_parser_destroy answers for the dive set last (also when its set_data failed).
    dc_status_t destroyStatus() const;

  private:
    std::optional<DecodedDive> dive_;
    int destroyFault_ = 0;
};

}  // namespace dcsim

#endif
