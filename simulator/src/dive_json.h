// SPDX-License-Identifier: MIT
// The JSON form of a dive (see simulator/README.md) turned into the bytes of the dive codec.
#ifndef DCSIM_DIVE_JSON_H
#define DCSIM_DIVE_JSON_H

#include "dive_codec.h"
#include "json_values.h"

#include <string>
#include <vector>

namespace dcsim {

struct EncodedDive {
    Bytes bytes;
    int parserNewFault = 0;  // answered by dc_parser_new while this dive is being delivered
};

// The copies of one dive of an image ("repeat" of them, each a day later than the one before).
std::vector<EncodedDive> encodeImageDive(const Json &dive, const std::string &what);

// One dive, "repeat" ignored.
Bytes encodeDive(const Json &dive, const std::string &what);

}  // namespace dcsim

#endif
