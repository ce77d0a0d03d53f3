#include <cstring>

#include "app_fixture.h"

namespace qm::test {
namespace {

using SettingsStore = AppTest;

TEST_F(SettingsStore, read_of_a_missing_key_or_value_fails_and_keeps_the_destination)
{
    std::uint8_t dest[4] = {1, 2, 3, 4};
    EXPECT_EQ(read_registry_value("Software", "Brackwater Software", "Quillmark", "v2.0",
                                  "window_x", dest, sizeof dest),
              -1);
    sim::store_value(SettingsKeyPath, "window_y", le32(7));
    EXPECT_EQ(read_registry_value("Software", "Brackwater Software", "Quillmark", "v2.0",
                                  "window_x", dest, sizeof dest),
              -1);
    EXPECT_EQ(read_registry_value("Software", "Brackwater Software", "Quillmark", "v3.0",
                                  "window_y", dest, sizeof dest),
              -1);
    const std::uint8_t unchanged[4] = {1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(dest, unchanged, 4), 0);
}

TEST_F(SettingsStore, value_larger_than_the_destination_fails_and_keeps_the_destination)
{
    sim::store_value(SettingsKeyPath, "window_x", {9, 9, 9, 9, 9});
    std::int32_t x = 25;
    EXPECT_EQ(read_setting("window_x", &x), -1);
    EXPECT_EQ(x, 25);
}

TEST_F(SettingsStore, short_value_replaces_only_its_leading_bytes)
{
    sim::store_value(SettingsKeyPath, "window_w", {0xAA});
    std::int32_t w = 0x11223344;
    EXPECT_EQ(read_setting("window_w", &w), 0);
    EXPECT_EQ(w, 0x112233AA);

    sim::store_value(SettingsKeyPath, "window_h", {0x00, 0x01});
    std::int32_t h = 825; // 0x339
    EXPECT_EQ(read_setting("window_h", &h), 0);
    EXPECT_EQ(h, 0x100);
}

TEST_F(SettingsStore, value_of_another_type_is_read_as_raw_bytes)
{
    sim::store_value(SettingsKeyPath, "last_print_path", text_value("C:\\job.pdb"),
                     sim::ValueType::Text);
    char path[PathBufferSize];
    std::memset(path, 0, sizeof path);
    path[20] = 'k';
    EXPECT_EQ(read_setting_bytes("last_print_path", path, sizeof path), 0);
    EXPECT_STREQ(path, "C:\\job.pdb");
    EXPECT_EQ(path[20], 'k');
}

TEST_F(SettingsStore, integers_are_stored_as_four_little_endian_bytes)
{
    EXPECT_EQ(write_setting("window_x", -2), 0);
    ASSERT_NE(sim::stored_value(SettingsKeyPath, "window_x"), nullptr);
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_x")->bytes,
              (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_x")->type, sim::ValueType::Binary);
    std::int32_t back = 0;
    EXPECT_EQ(read_setting("window_x", &back), 0);
    EXPECT_EQ(back, -2);
}

TEST_F(SettingsStore, write_without_a_name_fails_without_touching_the_store)
{
    const std::uint8_t b[4] = {};
    EXPECT_EQ(write_registry_value("Software", "Brackwater Software", "Quillmark", "v2.0", nullptr,
                                   b, sizeof b),
              -1);
    EXPECT_FALSE(sim::key_exists(SettingsKeyPath));
    EXPECT_TRUE(sim::calls_starting_with({"write_value"}).empty());
}

TEST_F(SettingsStore, first_write_creates_the_four_keys)
{
    EXPECT_FALSE(sim::key_exists(SettingsKeyPath));
    EXPECT_EQ(write_setting("pause_pages", 1), 0);
    EXPECT_TRUE(sim::key_exists(SettingsKeyPath));
}

TEST_F(SettingsStore, failed_write_is_reported)
{
    sim::fail_writes(true);
    EXPECT_EQ(write_setting("pause_pages", 1), -1);
}

} // namespace
} // namespace qm::test
