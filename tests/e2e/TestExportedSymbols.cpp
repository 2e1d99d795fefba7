// The shared library's exported names are the C functions and nothing else: no C++, Qt or
// standard library symbol may leak into the host's namespace. Linux: the dynamic symbol table;
// Windows: the DLL's export table, read from the loaded module, whose names must be undecorated.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
std::set<std::string> exportedNames(const std::string& library)
{
    std::set<std::string> names;
    const HMODULE module = LoadLibraryA(library.c_str());
    if (!module)
        return names;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry
        = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.Size != 0) {
        const auto* directory
            = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
        const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
        for (DWORD i = 0; i < directory->NumberOfNames; ++i)
            names.insert(reinterpret_cast<const char*>(base + nameOffsets[i]));
        // Every export has a name: nothing reachable by ordinal only.
        if (directory->NumberOfFunctions != directory->NumberOfNames)
            names.insert("(exports without a name)");
    }
    FreeLibrary(module);
    return names;
}
#else
std::set<std::string> exportedNames(const std::string& library)
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
#endif

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
    EXPECT_EQ(exportedNames(KAVRA_LIBRARY_PATH), expected);
}
