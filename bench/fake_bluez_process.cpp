// SPDX-License-Identifier: MIT
#include "fake_bluez_process.h"

#include <cerrno>
#include <fstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace divebridge::bench {
namespace {

std::string configurationOf(const std::vector<FakeDevice> &devices) {
    std::string json = R"({"devices": [)";
    for (const FakeDevice &device : devices) {
        json += (&device == &devices.front() ? "" : ", ");
        json += R"({"address": ")" + device.address + R"(", "name": ")" + device.name +
                R"(", "image": ")" + device.imagePath + "\"";
        json += device.members.empty() ? "}" : ", " + device.members + "}";
    }
    return json + "]}";
}

std::string writeConfiguration(const std::string &directory,
                               const std::vector<FakeDevice> &devices) {
    const std::string path = directory + "/fake-bluez.json";
    std::ofstream file(path, std::ios::trunc);
    file << configurationOf(devices);
    if (!file.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

// The fake's first line, READY once it owns org.bluez; empty when it ended before.
std::string firstLine(int descriptor) {
    std::string line;
    char c = 0;
    while (::read(descriptor, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe() {
        int ends[2];
        if (::pipe(ends) != 0) {
            throw std::runtime_error("cannot make a pipe");
        }
        readEnd = ends[0];
        writeEnd = ends[1];
    }
    ~Pipe() {
        closeEnd(readEnd);
        closeEnd(writeEnd);
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    static void closeEnd(int &end) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
    int take(int &end) {
        const int taken = end;
        end = -1;
        return taken;
    }
};

}  // namespace

std::string bluezDevicePath(const std::string &address) {
    std::string path = "/org/bluez/hci0/dev_" + address;
    for (char &c : path) {
        c = c == ':' ? '_' : c;
    }
    return path;
}

FakeBlueZProcess::FakeBlueZProcess(const std::string &directory,
                                   const std::vector<FakeDevice> &devices) {
    const std::string configuration = writeConfiguration(directory, devices);
    const std::string script = std::string(DIVEBRIDGE_FAKE_BLUEZ_DIR) + "/fake_bluez.py";
    Pipe input;
    Pipe output;
    pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start the fake BlueZ");
    }
    if (pid == 0) {
        ::dup2(input.readEnd, STDIN_FILENO);
        ::dup2(output.writeEnd, STDOUT_FILENO);
        ::close(input.writeEnd);
        ::close(output.readEnd);
        ::execl("/usr/bin/python3", "python3", script.c_str(), configuration.c_str(), nullptr);
        ::_exit(127);
    }
    // The child's ends closed here, so that the fake's end reaches the read below.
    Pipe::closeEnd(input.readEnd);
    Pipe::closeEnd(output.writeEnd);
    commands = input.take(input.writeEnd);
    const int answers = output.take(output.readEnd);
    const std::string ready = firstLine(answers);
    ::close(answers);
    if (ready != "READY") {
        endFake();
        throw std::runtime_error("the fake BlueZ did not start (is the bench on a private bus?)");
    }
}

FakeBlueZProcess::~FakeBlueZProcess() {
    endFake();
}

// The end of its standard input ends the fake, as "quit" does.
void FakeBlueZProcess::endFake() noexcept {
    ::close(commands);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace divebridge::bench
