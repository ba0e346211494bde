// Every executable the Windows builds produce: its machine, PE32 or PE32+, subsystem, and imports (no mingw
// runtime DLL beside the programs, no link to another part of the system).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

const uint16_t MACHINE_I386 = 0x14C;
const uint16_t MACHINE_AMD64 = 0x8664;
const uint16_t MAGIC_PE32 = 0x10B;
const uint16_t MAGIC_PE32_PLUS = 0x20B;
const uint16_t SUBSYSTEM_WINDOWS_GUI = 2;

// Just enough of a PE image to answer the questions above; every read is bounds-checked.
class PeImage {
public:
    explicit PeImage(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        m_valid = Read16(0) == 0x5A4D; // "MZ"
        m_header = Read32(0x3C);
        m_valid = m_valid && Read32(m_header) == 0x00004550; // "PE\0\0"
    }

    bool Valid() const { return m_valid; }
    uint16_t Machine() const { return Read16(m_header + 4); }
    uint16_t Magic() const { return Read16(OptionalHeader()); }
    uint16_t Subsystem() const { return Read16(OptionalHeader() + 68); }

    // Names of the imported DLLs, lower case.
    std::vector<std::string> Imports() const {
        const size_t directories = OptionalHeader() + (Magic() == MAGIC_PE32_PLUS ? 112 : 96);
        std::vector<std::string> names;
        size_t descriptor = FileOffset(Read32(directories + 8)); // the import directory
        for (; descriptor != 0 && Read32(descriptor + 12) != 0; descriptor += 20) {
            std::string name;
            for (size_t at = FileOffset(Read32(descriptor + 12));
                 at != 0 && at < m_bytes.size() && m_bytes[at]; ++at) {
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(m_bytes[at])));
            }
            names.push_back(name);
        }
        return names;
    }

private:
    size_t OptionalHeader() const { return m_header + 24; }

    // The file offset of a relative virtual address, through the section table; 0 when outside every section.
    size_t FileOffset(uint32_t rva) const {
        const size_t sections = OptionalHeader() + Read16(m_header + 20);
        for (size_t i = 0; i < Read16(m_header + 6); ++i) {
            const size_t section = sections + 40 * i;
            const uint32_t start = Read32(section + 12);
            const uint32_t size = std::max(Read32(section + 8), Read32(section + 16));
            if (rva >= start && rva < start + size) {
                return rva - start + Read32(section + 20);
            }
        }
        return 0;
    }

    uint32_t Read(size_t at, size_t bytes) const {
        uint32_t value = 0;
        for (size_t i = 0; i < bytes && at + i < m_bytes.size(); ++i) {
            value |= static_cast<uint32_t>(static_cast<unsigned char>(m_bytes[at + i])) << (8 * i);
        }
        return at + bytes <= m_bytes.size() ? value : 0;
    }
    uint16_t Read16(size_t at) const { return static_cast<uint16_t>(Read(at, 2)); }
    uint32_t Read32(size_t at) const { return Read(at, 4); }

    std::vector<char> m_bytes;
    size_t m_header = 0;
    bool m_valid = false;
};

struct ExecutableCase {
    const char* Name;
    const char* BuildDir;
    const char* Path;
    uint16_t Machine;
    uint16_t Magic;
    uint16_t Subsystem;
};

// Test names show the row, not its bytes.
void PrintTo(const ExecutableCase& row, std::ostream* out) {
    *out << row.Name;
}

class ExecutableFormatTest : public ::testing::TestWithParam<ExecutableCase> {};

TEST_P(ExecutableFormatTest, HasTheFormatAndImportsOfItsBuild) {
    const ExecutableCase& row = GetParam();
    const std::string path = std::string(row.BuildDir) + "/" + row.Path;
    const PeImage image(path);
    ASSERT_TRUE(image.Valid()) << path
                               << " is missing or not a PE image; ./zelk test builds the win32 and win64 "
                               << "presets before the host tests";
    EXPECT_EQ(image.Machine(), row.Machine);
    EXPECT_EQ(image.Magic(), row.Magic);
    EXPECT_EQ(image.Subsystem(), row.Subsystem);
    const std::vector<std::string> imports = image.Imports();
    EXPECT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        for (const char* forbidden : {"libgcc", "libstdc++", "libwinpthread", "zelk"}) {
            EXPECT_NE(name.rfind(forbidden, 0), 0u) << row.Path << " imports " << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Deliverables, ExecutableFormatTest,
    ::testing::Values(ExecutableCase{"PurgeWin32", ZELK_WIN32_DIR, "purge/ZelkPurge.exe", MACHINE_I386,
                                     MAGIC_PE32, SUBSYSTEM_WINDOWS_GUI},
                      ExecutableCase{"PurgeWin64", ZELK_WIN64_DIR, "purge/ZelkPurge.exe", MACHINE_AMD64,
                                     MAGIC_PE32_PLUS, SUBSYSTEM_WINDOWS_GUI},
                      ExecutableCase{"Setup64", ZELK_WIN64_DIR, "setup/ZelkSetup64.exe", MACHINE_AMD64,
                                     MAGIC_PE32_PLUS, SUBSYSTEM_WINDOWS_GUI},
                      ExecutableCase{"AgentWin32", ZELK_WIN32_DIR, "agent/win/ZelkAgt.exe", MACHINE_I386,
                                     MAGIC_PE32, SUBSYSTEM_WINDOWS_GUI},
                      ExecutableCase{"AgentWin64", ZELK_WIN64_DIR, "agent/win/ZelkAgt.exe", MACHINE_AMD64,
                                     MAGIC_PE32_PLUS, SUBSYSTEM_WINDOWS_GUI}),
    [](const ::testing::TestParamInfo<ExecutableCase>& testInfo) { return testInfo.param.Name; });

} // namespace
