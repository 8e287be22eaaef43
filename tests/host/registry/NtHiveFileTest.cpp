#include "host/registry/NtHiveFile.h"

#include "host/text/Text.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>
#include <hivex.h>
#include <sys/stat.h>

using namespace ravelin;
using namespace ravelin::registry;
using ravelin::test::TempDir;

namespace {

// Reads a value straight through libhivex, independent of our reader.
std::vector<std::uint8_t> hivexValue(const std::string& file, const std::vector<std::string>& path,
                                     const std::string& name, hive_type* type = nullptr) {
    hive_h* h = hivex_open(file.c_str(), 0);
    if (!h) return {};
    hive_node_h node = hivex_root(h);
    for (const auto& p : path)
        node = node ? hivex_node_get_child(h, node, p.c_str()) : 0;
    std::vector<std::uint8_t> out;
    if (node) {
        hive_value_h v = hivex_node_get_value(h, node, name.c_str());
        if (v) {
            size_t len = 0;
            hive_type t{};
            char* data = hivex_value_value(h, v, &t, &len);
            if (data) out.assign(data, data + len);
            if (type) *type = t;
            free(data);
        }
    }
    hivex_close(h);
    return out;
}

// Writes new keys and values of every type into a copy of the hive, and reads them back
// through libhivex and through our reader.
void writesGoThroughLibhivexAndReadBack(const std::string& source) {
    TempDir dir;
    std::string path = dir.file("SOFTWARE");
    test::copyFile(source, path);
    ::chmod(path.c_str(), 0640);
    {
        auto hive = NtHive::load(path);
        bool created = false;
        Key& vendor = hive->root().addSubkey("Vendor", created);
        Key& app = vendor.addSubkey("App \xC3\xA4", created);
        app.setValue("Name", REG_SZ,
                     makeStringData("Gr\xC3\xBC\xC3\x9F"
                                    "e"));
        app.setValue("Count", REG_DWORD, makeDwordData(7));
        app.setValue("", REG_BINARY, {1, 2, 3});
        app.setValue("List", REG_MULTI_SZ, makeMultiStringData({"a", "b"}));
        app.markDirty(fileTimeNow());
        vendor.markDirty(fileTimeNow());
        hive->root().markStructureChanged(fileTimeNow());
        hive->save();
        EXPECT_FALSE(hive->modified());
        // Later changes apply to the saved file.
        hive->root()
            .findSubkey("vendor")
            ->findSubkey("APP \xC3\x84")
            ->setValue("Count", REG_DWORD, makeDwordData(8));
        hive->root().findSubkey("vendor")->findSubkey("APP \xC3\x84")->markDirty(fileTimeNow());
        hive->save();
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    hive_type t{};
    EXPECT_EQ(hivexValue(path, {"Vendor", "App \xC3\xA4"}, "Count", &t), makeDwordData(8));
    EXPECT_EQ(t, hive_t_REG_DWORD);
    EXPECT_EQ(hivexValue(path, {"Vendor", "App \xC3\xA4"}, "Name"),
              makeStringData("Gr\xC3\xBC\xC3\x9F"
                             "e"));
    EXPECT_EQ(hivexValue(path, {"Vendor", "App \xC3\xA4"}, ""),
              (std::vector<std::uint8_t>{1, 2, 3}));

    auto again = NtHive::load(path);
    Key* app = again->root().findSubkey("Vendor")->findSubkey("App \xC3\xA4");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(multiStringFromData(app->findValue("List")->data),
              (std::vector<std::string>{"a", "b"}));
}

} // namespace

TEST(NtHiveFile, ReadsKeyAndValueNamesOfAHive) {
    TempDir scratch;
    for (const auto& sample : test::hiveSamples(scratch)) {
        SCOPED_TRACE(sample.origin);
        auto hive = NtHive::load(sample.special);
        std::vector<std::string> names;
        for (const auto& k : hive->root().subkeys())
            names.push_back(k->name());
        ASSERT_EQ(names.size(), 3u);
        Key* umlauts = hive->root().findSubkey(
            "ABCD_\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"); // case-insensitive, non-ASCII
        ASSERT_NE(umlauts, nullptr);
        ASSERT_EQ(umlauts->values().size(), 1u);
        EXPECT_EQ(umlauts->values()[0].type, REG_DWORD);
        EXPECT_EQ(umlauts->values()[0].name, "abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F");
        EXPECT_EQ(umlauts->values()[0].data.size(), 4u);
        Key* weird = hive->root().findSubkey("weird\xE2\x84\xA2");
        ASSERT_NE(weird, nullptr);
        ASSERT_EQ(weird->values().size(), 1u);
        EXPECT_EQ(weird->values()[0].name.rfind("symbols $\xC2\xA3", 0), 0u)
            << "a name stored as UTF-16";
    }
}

TEST(NtHiveFile, WritesGoThroughLibhivexAndReadBack) {
    TempDir scratch;
    for (const auto& sample : test::hiveSamples(scratch)) {
        SCOPED_TRACE(sample.origin);
        writesGoThroughLibhivexAndReadBack(sample.minimal);
    }
}

TEST(NtHiveFile, DeletesSubtreesAndKeepsOtherValues) {
    TempDir scratch;
    for (const auto& sample : test::hiveSamples(scratch)) {
        SCOPED_TRACE(sample.origin);
        TempDir dir;
        std::string path = dir.file("NTUSER.DAT");
        test::copyFile(sample.special, path);
        auto hive = NtHive::load(path);
        ASSERT_NE(hive->root().removeSubkey("weird\xE2\x84\xA2"), nullptr);
        hive->root().markStructureChanged(fileTimeNow());
        hive->save();
        auto again = NtHive::load(path);
        EXPECT_EQ(again->root().subkeys().size(), 2u);
        EXPECT_EQ(again->root().findSubkey("weird\xE2\x84\xA2"), nullptr);
        EXPECT_EQ(
            again->root().findSubkey("abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F")->values().size(), 1u);
    }
}

TEST(NtHiveFile, CorruptFileIsRefusedWithItsName) {
    TempDir dir;
    std::string path = dir.file("SYSTEM");
    std::string junk(8192, '\0');
    junk.replace(0, 4, "regf");
    test::writeFile(path, junk);
    try {
        NtHive::load(path);
        FAIL() << "a corrupt hive was accepted";
    } catch (const RegistryFormatError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_EQ(test::readFile(path), junk);
}

TEST(NtHiveFile, RefusesValuesOtherReadersCannotRead) {
    TempDir dir;
    test::writeMinimalHive(dir.file("SOFTWARE"));
    auto hive = NtHive::load(dir.file("SOFTWARE"));
    EXPECT_EQ(hive->maxValueSize(), 16344u);
}
