// The settings store against the real registry, under a key of the test's own.
#include <cstring>
#include <vector>

#include "app/settings_store.h"
#include "platform/settings_port.h"
#include "win32_fixture.h"

namespace qm::test {
namespace {

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        name_ = unique_name("run");
        keys_ = KeyPath{{"Software", "Quillmark Tests", name_.c_str(), "v2.0"}};
    }
    void TearDown() override
    {
        HKEY tests = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmark Tests", 0, KEY_ALL_ACCESS,
                          &tests) == ERROR_SUCCESS) {
            // The run's two levels, deepest first: XP has no RegDeleteTree.
            RegDeleteKeyA(tests, (name_ + "\\v2.0").c_str());
            RegDeleteKeyA(tests, name_.c_str());
            RegCloseKey(tests);
        }
    }

    // Stores a value of any type straight through the registry API.
    void store_raw(const char* value, DWORD type, const void* bytes, DWORD size)
    {
        const std::string path = "Software\\Quillmark Tests\\" + name_ + "\\v2.0";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, value, 0, type, static_cast<const BYTE*>(bytes), size);
        RegCloseKey(key);
    }

    int read(const char* value, void* dest, std::size_t size)
    {
        return read_registry_value(keys_.names[0], keys_.names[1], keys_.names[2], keys_.names[3],
                                   value, dest, size);
    }
    int write(const char* value, const void* source, std::size_t size)
    {
        return write_registry_value(keys_.names[0], keys_.names[1], keys_.names[2], keys_.names[3],
                                    value, source, size);
    }

    std::string name_;
    KeyPath keys_{};
};

TEST_F(RegistryStore, write_creates_the_keys_and_stores_binary_bytes)
{
    const std::uint8_t bytes[4] = {0x6A, 0x02, 0x00, 0x00};
    ASSERT_EQ(write("window_w", bytes, sizeof bytes), 0);

    const std::string path = "Software\\Quillmark Tests\\" + name_ + "\\v2.0";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    std::uint8_t got[8] = {};
    DWORD size = sizeof got;
    EXPECT_EQ(RegQueryValueExA(key, "window_w", nullptr, &type, got, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(got, bytes, 4), 0);

    std::uint8_t back[4] = {};
    EXPECT_EQ(read("window_w", back, sizeof back), 0);
    EXPECT_EQ(std::memcmp(back, bytes, 4), 0);
}

TEST_F(RegistryStore, whole_path_buffer_is_stored_whatever_its_text)
{
    char path[512] = {};
    ASSERT_EQ(write("last_print_path", path, sizeof path), 0);
    char back[512];
    std::memset(back, 'x', sizeof back);
    EXPECT_EQ(read("last_print_path", back, sizeof back), 0);
    EXPECT_EQ(std::memcmp(back, path, sizeof path), 0);
}

TEST_F(RegistryStore, failed_reads_keep_the_destination)
{
    std::uint8_t dest[4] = {1, 2, 3, 4};
    const std::uint8_t same[4] = {1, 2, 3, 4};
    // No key at all, then a key without the value, then a value too large.
    EXPECT_EQ(read("window_x", dest, sizeof dest), -1);
    const std::uint8_t five[5] = {9, 9, 9, 9, 9};
    store_raw("window_y", REG_BINARY, five, sizeof five);
    EXPECT_EQ(read("window_x", dest, sizeof dest), -1);
    EXPECT_EQ(read("window_y", dest, sizeof dest), -1);
    EXPECT_EQ(std::memcmp(dest, same, 4), 0);
}

TEST_F(RegistryStore, short_value_replaces_only_its_leading_bytes)
{
    const std::uint8_t one = 0xAA;
    store_raw("window_x", REG_BINARY, &one, 1);
    std::uint8_t dest[4] = {0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(read("window_x", dest, sizeof dest), 0);
    const std::uint8_t expected[4] = {0xAA, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(dest, expected, 4), 0);
}

TEST_F(RegistryStore, values_of_other_types_are_read_as_raw_bytes)
{
    const char text[] = "C:\\j.pdb";
    store_raw("last_print_path", REG_SZ, text, sizeof text);
    char path[512];
    std::memset(path, 'z', sizeof path);
    EXPECT_EQ(read("last_print_path", path, sizeof path), 0);
    EXPECT_STREQ(path, text);
    EXPECT_EQ(path[sizeof text], 'z');

    const DWORD number = 5;
    store_raw("pause_pages", REG_DWORD, &number, sizeof number);
    std::int32_t pause = 0;
    EXPECT_EQ(read("pause_pages", &pause, sizeof pause), 0);
    EXPECT_EQ(pause, 5);
}

TEST_F(RegistryStore, write_without_a_name_fails_and_creates_nothing)
{
    const std::uint8_t b[4] = {};
    EXPECT_EQ(write(nullptr, b, sizeof b), -1);
    HKEY key = nullptr;
    const std::string path = "Software\\Quillmark Tests\\" + name_;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

} // namespace
} // namespace qm::test
