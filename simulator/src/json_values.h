// SPDX-License-Identifier: MIT
// Typed reads from the JSON documents the simulator accepts (images, catalogues, dives). Every
// read names what it reads, so a FormatError says where a document is wrong.
#ifndef DCSIM_JSON_VALUES_H
#define DCSIM_JSON_VALUES_H

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

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

// Reads the member key of object with read when object has it; target keeps its value otherwise.
// Errors name the member by its key, or as path.key for a member of the object at path.
template <typename Target, typename Read>
void readMember(const Json &object, const char *key, Target &target, Read &&read) {
    if (object.contains(key)) {
        target = read(object[key], std::string(key));
    }
}

template <typename Target, typename Read>
void readMember(const Json &object, const std::string &path, const char *key, Target &target,
                Read &&read) {
    if (object.contains(key)) {
        target = read(object[key], path + "." + key);
    }
}

// A member's key and the field readMembers reads it into.
template <typename Field>
std::pair<const char *, Field *> member(const char *key, Field &field) {
    return {key, &field};
}

// Reads each listed member the object at path has into its field with read, in the list's order.
template <typename Field, typename Read>
void readMembers(const Json &object, const std::string &path, Read &&read,
                 std::initializer_list<std::pair<const char *, Field *>> members) {
    for (const auto &[key, field] : members) {
        readMember(object, path, key, *field, read);
    }
}

// The member key of the object at path read with read, or fallback when the object lacks it.
template <typename Value, typename Read>
Value readMemberOr(const Json &object, const std::string &path, const char *key, Value fallback,
                   Read &&read) {
    readMember(object, path, key, fallback, read);
    return fallback;
}

}  // namespace dcsim

#endif
