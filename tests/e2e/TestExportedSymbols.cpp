// The shared library's dynamic symbol table holds the exported C functions and nothing else:
// no C++, Qt or standard library symbol may leak into the host's namespace.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> definedDynamicSymbols(const std::string& library)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            names.insert(name.substr(0, name.find('@')));
    }
    pclose(pipe);
    return names;
}

} // namespace

TEST(ExportedSymbols, ExactlyTheCInterface)
{
    const std::set<std::string> expected = {"initialiseSession", "closeSession", "getDeviceCount",
        "getDeviceIndex", "setPWMFunction", "setPWM", "setPWMFrequency", "setVoltage",
        "setAccurateVoltage", "setVoltageWaveform", "setPolarity", "turnVoltageOn",
        "turnVoltageOff", "enableInternalVoltageBus", "disableInternalVoltageBus",
        "getSupplyStatus", "getChannelStatus", "getChannelCurrent", "clearError", "getADCValue",
        "getDeviceSerialNumber", "getLastErrorText", "getLibraryVersion", "getDriverLibraryInfo",
        "getStatusText", "getFamilyName", "getChannelCount", "getPwmChannelCount",
        "getHighestCurrent", "getHighestVoltage", "getHighestDeviceIndex",
        "getSupportedOperations"};
    EXPECT_EQ(definedDynamicSymbols(KAVRA_LIBRARY_PATH), expected);
}
