// SPDX-License-Identifier: MIT
#include "port_file.h"

#include "status_error.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>

namespace dcsim {
namespace {

// The path as Windows takes it, UTF-16.
std::wstring widePath(const std::string &path) {
    if (path.size() > INT_MAX) {
        throw StatusError(DC_STATUS_IO, "an image path of over 2 GiB");
    }
    if (path.empty()) {
        return {};
    }
    const int size = static_cast<int>(path.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    if (length <= 0) {
        throw StatusError(DC_STATUS_IO, path + ": not a UTF-8 path");
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length);
    return wide;
}

bool isDirectory(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string windowsError(const std::string &path, DWORD error) {
    return path + ": Windows error " + std::to_string(error);
}

// The error of CreateFileW decides the status, as it does for a serial port.
[[noreturn]] void refuseOpen(const std::string &path, const std::wstring &wide, DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            throw StatusError(DC_STATUS_NODEVICE, path + ": no such image");
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // Windows refuses to open a directory as a file with the same error; it is no image.
            if (!isDirectory(wide)) {
                throw StatusError(DC_STATUS_NOACCESS, path + ": permission denied");
            }
            break;
        default:
            break;
    }
    throw StatusError(DC_STATUS_IO, windowsError(path, error));
}

}  // namespace

// Not inherited by child processes, as O_CLOEXEC on POSIX; other processes may keep using the file.
PortFile::PortFile(const std::string &path) : path_(path) {
    const std::wstring wide = widePath(path);
    handle_ = CreateFileW(wide.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        refuseOpen(path, wide, GetLastError());
    }
}

PortFile::~PortFile() {
    CloseHandle(handle_);
}

// A directory does not open as a file here; what opens and is not on disk (a console, a pipe, a
// device such as NUL or COM1) is no image.
std::optional<std::uint64_t> PortFile::regularFileSize() const {
    if (GetFileType(handle_) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size)) {
        throw StatusError(DC_STATUS_IO, windowsError(path_, GetLastError()));
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t PortFile::read(char *buffer, std::size_t size) {
    DWORD count = 0;
    const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!ReadFile(handle_, buffer, wanted, &count, nullptr)) {
        throw StatusError(DC_STATUS_IO, windowsError(path_, GetLastError()));
    }
    return count;
}

}  // namespace dcsim
