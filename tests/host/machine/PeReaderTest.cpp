// Screen savers and DLLs come from other machines: the PE reader trusts none of their
// header fields and reads only what it needs.
#include "app/deskforge/Machine.h"
#include "host/machine/Machine.h"
#include "host/machine/PeResources.h"
#include "logon/ufrmEditLogonOld.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"
#include "toolkit/Driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ravelin;
using namespace ravelin::machine;

namespace {

void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

const std::string kImage = makeStringResourceImage({{1, "Sternenfeld"}, {17, "siebzehn"}});

} // namespace

TEST(PeReader, HeaderFieldsPointingOutsideTheFileAreNoImage) {
    ASSERT_EQ(readStringResource(kImage, 1).value_or(""), "Sternenfeld");
    // Where the PE header is: past the end, and so far that adding to it wraps around.
    for (std::uint32_t at :
         {0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu, static_cast<std::uint32_t>(kImage.size() - 4)}) {
        std::string b = kImage;
        put32(b, 0x3C, at);
        EXPECT_FALSE(isPeImage(b)) << at;
        EXPECT_FALSE(readStringResource(b, 1).has_value()) << at;
    }
    // Section table, resource directories and string data pointing anywhere: every 4-byte
    // field of the file in turn. Whatever is read comes from inside the file.
    for (std::size_t at = 0x3C; at + 4 <= kImage.size(); at += 2) {
        for (std::uint32_t v : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFF0u, 0x00001FF0u}) {
            std::string b = kImage;
            put32(b, at, v);
            for (unsigned id : {1u, 17u}) {
                const auto s = readStringResource(b, id);
                EXPECT_TRUE(!s || s->size() < kImage.size()) << at;
            }
        }
    }
}

TEST(PeReader, AFileIsReadByPositionNotWhole) {
    test::TempDir dir;
    const std::string path = dir.path() + "/Riesig.scr";
    test::writeFile(path, kImage);
    // 4 GB and more: the image at its start, then a hole the reader must not touch.
    ASSERT_EQ(::truncate(path.c_str(), (off_t{1} << 32) + 4096), 0);
    EXPECT_EQ(readFileStringResource(path, 1, kLangGerman).value_or("?"), "Sternenfeld");
    EXPECT_EQ(readFileStringResource(path, 17, kLangGerman).value_or("?"), "siebzehn");
    EXPECT_EQ(readFileStringResource(path, 2, kLangGerman).value_or("?"), "")
        << "an image without that string";
    test::writeFile(path, "MZ");
    EXPECT_FALSE(readFileStringResource(path, 1, kLangGerman).has_value());
    EXPECT_FALSE(readFileStringResource(dir.path() + "/fehlt.scr", 1, kLangGerman).has_value());
    ASSERT_EQ(::mkfifo((dir.path() + "/fifo.scr").c_str(), 0600), 0);
    EXPECT_FALSE(readFileStringResource(dir.path() + "/fifo.scr", 1, kLangGerman).has_value())
        << "a FIFO is no program and does not block";
}

TEST(PeReader, ABrokenSaverIsLeftOutOfTheListLikeTheOthers) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    app::MachineSession session(dir.path(), app::MachineSession::Mode::Write);
    const std::string system = session.machine().files().hostPath("C:\\Windows\\system32");
    std::string broken = kImage;
    put32(broken, 0x3C, 0xFFFFFFF0u);
    test::writeFile(system + "/Kaputt.scr", broken);
    std::string shortened = kImage.substr(0, 0x1A0);
    test::writeFile(system + "/Kurz.scr", shortened);
    logon::TfrmEditLogonOld dialog(nullptr);
    toolkit::UserDriver driver(dialog);
    driver.Tab("tsScreensaver");
    std::string items;
    for (const auto& i : dialog.cbScreenSaver->Items)
        items += i.text + "|";
    EXPECT_EQ(items.find("Kaputt"), std::string::npos) << items;
    EXPECT_EQ(items.find("Kurz"), std::string::npos) << items;
    EXPECT_NE(items.find("(Kein)|"), std::string::npos) << items;
    EXPECT_GT(dialog.cbScreenSaver->Items.size(), 1u) << "the machine's own savers are listed";
}
