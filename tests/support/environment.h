// SPDX-License-Identifier: MIT
// Environment variables for the simulator, set and removed by tests on POSIX and on Windows, whose
// C runtime has no setenv: both the tests and the simulator's DLL see the runtime's one copy.
#pragma once

#include <cstdlib>
#include <string>

namespace environment {

inline void set(const char *name, const std::string &value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());  // an empty value would remove the variable
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void unset(const char *name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

}  // namespace environment
