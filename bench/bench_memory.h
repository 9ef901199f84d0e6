// What a benchmark itself holds in resident memory, whatever ran before it in the process: the
// peak is reset when the benchmark starts (writing 5 to /proc/self/clear_refs sets it to the
// present resident size) and counted above the resident size of that moment.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

// The process's resident memory now ("VmRSS:") or at its peak ("VmHWM:"), in MiB.
inline double StatusMib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtod(line.c_str() + std::string(key).size(), nullptr) / 1024.0;
    return 0.0;
}

struct CResidentPeak {
    double startMib = 0.0;

    CResidentPeak() { Reset(); }
    void Reset() {
        std::ofstream("/proc/self/clear_refs") << "5";
        startMib = StatusMib("VmRSS:");
    }
    // The highest resident memory since the reset, above what the process held then.
    double PeakMib() const { return StatusMib("VmHWM:") - startMib; }
    double NowMib() const { return StatusMib("VmRSS:") - startMib; }
};
