// Switch lookup over this process's own command line.
#include "util/SeparatorLists.h"

#include <windows.h>

namespace {

std::string ModulePath() {
    // Paths may exceed MAX_PATH; the buffer grows until the name fits (the
    // system limit for a path is 32767 characters).
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::string();
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        if (buf.size() > 32768) return std::string();
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

std::string GetParamsTail() {
    const char* line = GetCommandLineA();
    return ParamsTailOf(line != nullptr ? std::string(line) : std::string(), ModulePath());
}

std::string GetParamValue(const std::string& name, std::string_view def) {
    return ParamValueIn(GetParamsTail(), name, def);
}

int64_t GetParamInt(const std::string& name, int64_t def) { return ParamIntIn(GetParamsTail(), name, def); }

bool HasParamSwitch(const std::string& name) { return HasSwitchIn(GetParamsTail(), name); }
