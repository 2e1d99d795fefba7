// The virtual bench and libkavra_ftdi.so export the same D2XX functions as FTDI's own Linux library, so that programs
// written for D2XX (and bindings that resolve every name up front) load it unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

namespace {

// The FT_ functions a shared library defines in its dynamic symbol table, as nm lists them.
std::set<std::string> d2xxExports(const std::string& library)
{
    std::set<std::string> names;
    FILE* pipe = popen(("nm -D --defined-only '" + library + "' 2>/dev/null").c_str(), "r");
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        // T and W: global and weak code; i: an indirect function.
        if (fields >> address >> type >> name && name.rfind("FT_", 0) == 0
            && (type == "T" || type == "W" || type == "i"))
            names.insert(name);
    }
    if (pipe)
        pclose(pipe);
    return names;
}

std::string onlyIn(const std::set<std::string>& names, const std::set<std::string>& other)
{
    std::ostringstream only;
    std::set_difference(names.begin(), names.end(), other.begin(), other.end(),
        std::ostream_iterator<std::string>(only, " "));
    return only.str();
}

// The bench and libkavra_ftdi.so (when built) export exactly the vendor's FT_ names.
TEST(ExportSet, OurD2xxLibrariesExportExactlyTheVendorsFunctions)
{
    if (!std::ifstream(KAVRA_VENDOR_D2XX_PATH))
        GTEST_SKIP() << "FTDI's D2XX library is not at " << KAVRA_VENDOR_D2XX_PATH
                     << " (scripts/setup builds it when the npm registry is reachable)";
    const std::set<std::string> vendor = d2xxExports(KAVRA_VENDOR_D2XX_PATH);
    ASSERT_FALSE(vendor.empty()) << "nm lists no FT_ function in " << KAVRA_VENDOR_D2XX_PATH;
    for (const char* library : {KAVRA_SIM_PATH, KAVRA_FTDI_PATH}) {
        if (!*library)
            continue;
        SCOPED_TRACE(library);
        const std::set<std::string> ours = d2xxExports(library);
        EXPECT_EQ(onlyIn(vendor, ours), "") << "exported by FTDI's library only";
        EXPECT_EQ(onlyIn(ours, vendor), "") << "exported by ours only";
    }
}

} // namespace
