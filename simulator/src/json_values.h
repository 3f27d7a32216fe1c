// Typed reads from the JSON documents the simulator accepts (images, catalogues, dives). Every
// read names what it reads, so a FormatError says where a document is wrong.
#ifndef DCSIM_JSON_VALUES_H
#define DCSIM_JSON_VALUES_H

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace dcsim {

using Json = nlohmann::json;

// A number, or one of the strings "nan", "inf", "-inf" (JSON itself has no NaN).
double readDouble(const Json &value, const std::string &what);
std::uint32_t readUnsigned(const Json &value, const std::string &what);
std::int32_t readInt(const Json &value, const std::string &what);
std::int64_t readInt64(const Json &value, const std::string &what);
// A libdivecomputer status (-10 to 1) given as a number; 0 means no fault.
int readStatus(const Json &value, const std::string &what);
std::string readString(const Json &value, const std::string &what);
bool readBool(const Json &value, const std::string &what);

// Throws unless value is an object whose keys are all in allowed.
void requireObject(const Json &value, const std::string &what,
                   std::initializer_list<const char *> allowed);
void requireArray(const Json &value, const std::string &what);

}  // namespace dcsim

#endif
