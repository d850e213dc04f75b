#pragma once

#include <QtGlobal>

#include <fstream>
#include <string>

namespace belvane::bench {

// A process's resident memory in KiB; -1 when it cannot be read.
inline long residentKiB(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

} // namespace belvane::bench
