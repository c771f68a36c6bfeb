// The recorders' shared call log and reset.
//
// Implements: the call log and resetting every recorder.
#include "record.h"

namespace fwrecord {

std::function<void(const std::string& line)> onCall;

std::vector<std::string>& calls() {
    static std::vector<std::string> log;
    return log;
}

void record(const std::string& line) {
    calls().push_back(line);
    if (onCall) onCall(line);
}

std::vector<std::string> callsStartingWith(const std::string& prefix) {
    std::vector<std::string> result;
    for (const std::string& line : calls())
        if (line.compare(0, prefix.size(), prefix) == 0) result.push_back(line);
    return result;
}

void resetWin32();
void resetD3D();
void resetDShow();

void resetAll() {
    onCall = nullptr;
    resetD3D();
    resetDShow();
    resetWin32();
    calls().clear();
}

}  // namespace fwrecord
