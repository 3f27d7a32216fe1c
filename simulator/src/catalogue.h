// SPDX-License-Identifier: MIT
// The descriptors the simulator lists: a built-in catalogue, or the JSON file named by the
// environment variable DCSIM_CATALOGUE, read afresh for each descriptor iterator.
#ifndef DCSIM_CATALOGUE_H
#define DCSIM_CATALOGUE_H

#include "ble_names.h"

#include <libdivecomputer/common.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dcsim {

struct DescriptorInfo {
    std::string vendor;
    std::string product;
    unsigned int model = 0;
    // The dc_transport_t number (generation A) or set of flags (B) the descriptor reports.
    std::uint32_t transport = 0;
    BleNaming bleNaming;
};

// Statuses the iterator calls answer instead of doing their work; 0 is no fault.
struct CatalogueFaults {
    int iterator = 0;
    int next = 0;
    std::uint32_t nextAfter = 0;
};

struct Catalogue {
    std::vector<DescriptorInfo> descriptors;
    CatalogueFaults faults;
};

Catalogue builtInCatalogue();
// The override file when DCSIM_CATALOGUE is set, else the built-in catalogue. Throws StatusError
// (IO) when the file cannot be read or parsed.
Catalogue loadCatalogue();

class DescriptorIterator {
  public:
    using value_type = DescriptorInfo;

    explicit DescriptorIterator(Catalogue catalogue) : catalogue_(std::move(catalogue)) {}
    // SUCCESS with the next descriptor, DONE at the end, or the catalogue's "next" fault.
    dc_status_t next(DescriptorInfo &descriptor);

  private:
    Catalogue catalogue_;
    std::size_t position_ = 0;
};

}  // namespace dcsim

#endif
