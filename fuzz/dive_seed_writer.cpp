// SPDX-License-Identifier: MIT
// Writes the bytes of every dive of the given dive computer images into a directory, one file per
// dive: the seeds of the dive parsing fuzzer.
//   dive_seed_writer OUTPUT_DIR IMAGE...
#include <dcsim/dcsim.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <string>

namespace {

bool writeDiveSeed(const nlohmann::json &dive, const std::string &file) {
    nlohmann::json single = dive;
    single.erase("repeat");  // one copy is enough for a seed
    unsigned char *bytes = nullptr;
    unsigned int size = 0;
    if (dcsim_encode_dive(single.dump().c_str(), &bytes, &size) != 0) {
        return false;
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes), size);
    dcsim_free(bytes);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::cerr << "usage: dive_seed_writer OUTPUT_DIR IMAGE...\n";
        return 2;
    }
    const std::string output = argv[1];
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream input(argv[i]);
        const nlohmann::json image = nlohmann::json::parse(input, nullptr, false);
        if (!image.is_object() || !image.contains("dives")) {
            std::cerr << argv[i] << ": not a dive computer image\n";
            return 1;
        }
        for (const nlohmann::json &dive : image["dives"]) {
            const std::string file = output + "/seed-" + std::to_string(written);
            if (!writeDiveSeed(dive, file)) {
                std::cerr << argv[i] << ": a dive cannot be encoded\n";
                return 1;
            }
            ++written;
        }
    }
    std::cout << written << " dive seeds written to " << output << "\n";
    return 0;
}
