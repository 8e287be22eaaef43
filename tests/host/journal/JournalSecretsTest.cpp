// A secret never reaches the journal in clear, whichever way it is written, deleted, copied
// or moved: not in a value's row, not inside the image of a key that holds it, not in the
// database's write-ahead log, not in what `journal show` and `journal export` print. A key
// whose image lost a secret is settled by digests, as a secret value is. Every case runs
// on a Wine prefix and on a Windows drive of hive files.
#include "host/journal/Journal.h"

#include "host/journal/Sqlite.h"

#include "app/deskforge/Machine.h"
#include "host/Nxregistry.h"
#include "host/machine/Templates.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ravelin;
using ravelin::journal::JournalError;
using ravelin::test::TempDir;

namespace {

const std::string kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kWinlogonFull = "HKEY_LOCAL_MACHINE\\" + kWinlogon;
const std::string kSecret = "Zq7-Kennwort";
const std::string kOtherSecret = "Pin-4711x";

std::string utf16(const std::string& s) {
    std::u16string wide = text::utf8ToUtf16(s);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

// Where a secret shows in some bytes, in UTF-8 or UTF-16LE; empty when it does not.
std::string whereIn(const std::string& bytes, const std::string& secret) {
    if (bytes.find(secret) != std::string::npos) return "UTF-8";
    if (bytes.find(utf16(secret)) != std::string::npos) return "UTF-16LE";
    return {};
}

class JournalSecrets : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        machine::createMachine(dir.path(), "winxp",
                               std::string(RAVELIN_SOURCE_DIR) + "/samples/templates", GetParam());
        open();
    }
    void TearDown() override { session.reset(); }
    void open() {
        session.reset();
        session =
            std::make_unique<app::MachineSession>(dir.path(), app::MachineSession::Mode::Write);
        Journal_Discard = false;
        Journal_Running = true;
        TakeWriteFailure();
    }
    journal::Journal& jnl() { return *session->journal(); }
    registry::Registry& reg() { return session->registry(); }
    std::string str(const std::string& key, const std::string& name) {
        return GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, name, "<missing>", {2});
    }
    void plant() {
        ASSERT_EQ(
            SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "DefaultPassword", kSecret, {2, 6}),
            0);
        // Without the option too: the name alone makes it a secret.
        ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AltDefaultPassword",
                                    kSecret + "-alt", {2}),
                  0);
    }
    // Every file in the journal's folder, raw: the database, its write-ahead log and
    // whatever else lies there.
    void expectNoSecret(const std::string& route) {
        for (const auto& entry : std::filesystem::directory_iterator(dir.file(".deskforge"))) {
            const std::string bytes = test::readFile(entry.path());
            for (const auto& secret : {kSecret, kOtherSecret})
                EXPECT_EQ(whereIn(bytes, secret), "")
                    << route << ": " << secret << " in " << entry.path().filename();
        }
    }
    int deskforge(const std::vector<std::string>& args, std::string* output) {
        std::vector<std::string> all{"--machine", dir.path()};
        all.insert(all.end(), args.begin(), args.end());
        return test::runProgram(RAVELIN_DESKFORGE, all, output);
    }
    TempDir dir;
    std::unique_ptr<app::MachineSession> session;
};

std::string kindName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "WindowsDrive" : "WinePrefix";
}

} // namespace

TEST_P(JournalSecrets, NoRouteStoresOrPrintsASecret) {
    plant();
    expectNoSecret("value write");
    ASSERT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, kWinlogon, "AltDefaultPassword", {2}), 0);
    expectNoSecret("value delete");

    // Copied to a new key and over an existing one, then moved: the secret goes along.
    ASSERT_EQ(CopyRegKey(HKEY_LOCAL_MACHINE, kWinlogon, HKEY_LOCAL_MACHINE, "Software\\Saved\\Deep",
                         {2}, {2}),
              0);
    EXPECT_EQ(str("Software\\Saved\\Deep", "DefaultPassword"), kSecret);
    expectNoSecret("key copy to a new key");
    ASSERT_EQ(CopyRegKey(HKEY_LOCAL_MACHINE, kWinlogon, HKEY_LOCAL_MACHINE, "Software\\Saved\\Deep",
                         {2}, {2}),
              0);
    expectNoSecret("key copy over a key");
    ASSERT_EQ(MoveRegKey(HKEY_LOCAL_MACHINE, "Software\\Saved", HKEY_LOCAL_MACHINE,
                         "Software\\Moved", {2}, {2}),
              0);
    EXPECT_EQ(str("Software\\Moved\\Deep", "DefaultPassword"), kSecret);
    expectNoSecret("key move");
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Moved", {2}), 0);
    expectNoSecret("delete of a key holding a copy");

    // A value written as sensitive data anywhere stays secret when its key goes.
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Vault\\Inner", "Pin", kOtherSecret,
                                {2, 6}),
              0);
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Vault", {2}), 0);
    expectNoSecret("delete of a key holding a sensitive value");

    // Inside a transaction.
    BackupStart(0, "");
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2}), 0);
    expectNoSecret("key delete, transaction open");
    BackupEnd(false);
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), "<missing>");
    expectNoSecret("key delete in a transaction");

    // The logon page: the password set, then automatic logon switched off.
    test::runScript("logon", "tab tsAutoLogon\ncheck chkAutoLogon on\n"
                             "set txtAutoLogonPassword \"" +
                                 kSecret + "\"\n");
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), kSecret);
    expectNoSecret("logon page, password");
    test::runScript("logon", "tab tsAutoLogon\ncheck chkAutoLogon off\n");
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), "<missing>");
    expectNoSecret("logon page, automatic logon off");
    plant();
    session.reset();
    expectNoSecret("closed");

    // The command line: reg delete, and an import that deletes the key.
    std::string out;
    ASSERT_EQ(deskforge({"reg", "delete", kWinlogonFull, "/f"}, &out), 0) << out;
    expectNoSecret("reg delete");
    open();
    plant();
    session.reset();
    test::writeFile(dir.file("drop.reg"), "Windows Registry Editor Version 5.00\r\n\r\n[-" +
                                              kWinlogonFull + "]\r\n\r\n[" + kWinlogonFull +
                                              "]\r\n\"AutoAdminLogon\"=\"0\"\r\n");
    ASSERT_EQ(deskforge({"reg", "import", dir.file("drop.reg")}, &out), 0) << out;
    expectNoSecret("reg import");
    open();
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), "<missing>");
    EXPECT_EQ(str(kWinlogon, "AutoAdminLogon"), "0");
    const auto transactions = jnl().list();
    session.reset();

    // Nothing that shows the journal prints it.
    ASSERT_GE(transactions.size(), 10u);
    for (const auto& t : transactions) {
        ASSERT_EQ(deskforge({"journal", "show", std::to_string(t.id)}, &out), 0) << out;
        for (const auto& secret : {kSecret, kOtherSecret})
            EXPECT_EQ(whereIn(out, secret), "") << out;
    }
    ASSERT_EQ(deskforge({"journal", "list"}, &out), 0) << out;
    EXPECT_EQ(whereIn(out, kSecret), "") << out;
    ASSERT_EQ(deskforge({"journal", "export", dir.file("all.reg")}, &out), 0) << out;
    const std::string patch = test::readFile(dir.file("all.reg"));
    for (const auto& secret : {kSecret, kOtherSecret})
        EXPECT_EQ(whereIn(patch, secret), "") << secret;
    EXPECT_NE(patch.find(utf16("its sensitive values are left out")), std::string::npos);
    expectNoSecret("shown and exported");
}

TEST_P(JournalSecrets, ADryRunOfAKeyCopyLeavesTheSecretOut) {
    plant();
    session.reset();
    session = std::make_unique<app::MachineSession>(dir.path(), app::MachineSession::Mode::DryRun);
    ASSERT_EQ(
        CopyRegKey(HKEY_LOCAL_MACHINE, kWinlogon, HKEY_LOCAL_MACHINE, "Software\\Saved", {2}, {2}),
        0);
    const std::string patch = session->dryRunPatch();
    EXPECT_EQ(whereIn(patch, kSecret), "") << patch;
    EXPECT_NE(patch.find("\"DefaultPassword\" holds sensitive data and is left out"),
              std::string::npos)
        << patch;
    EXPECT_NE(patch.find("\"AutoAdminLogon\"="), std::string::npos) << patch;
}

TEST_P(JournalSecrets, AKeyThatHeldASecretIsNotPutBackAndTheRefusalSaysWhy) {
    plant();
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
    const auto deletion = jnl().list().front().id;
    try {
        jnl().undo(deletion, reg());
        ADD_FAILURE() << "the undo restored a key without its secret";
    } catch (const JournalError& e) {
        const std::string why = e.what();
        EXPECT_NE(why.find("den Schlüssel HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
                           "NT\\CurrentVersion\\Winlogon geändert, der"),
                  std::string::npos)
            << why;
        EXPECT_NE(why.find("vertrauliche Werte enthielt, deren Inhalt das Journal nicht "
                           "aufbewahrt; sie kann nicht rückgängig gemacht werden"),
                  std::string::npos)
            << why;
    }
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, kWinlogon, {2}));
    EXPECT_EQ(jnl().list().front().id, deletion) << "a refused undo records nothing";

    // A copy that made a key can be undone: that deletes it, as undoing a new secret
    // value does. Undoing that undo would need the secret back: refused.
    open();
    plant();
    ASSERT_EQ(
        CopyRegKey(HKEY_LOCAL_MACHINE, kWinlogon, HKEY_LOCAL_MACHINE, "Software\\Saved", {2}, {2}),
        0);
    const auto copy = jnl().list().front().id;
    const auto undone = jnl().undo(copy, reg());
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, "Software\\Saved", {2}));
    expectNoSecret("undo of a copy");
    EXPECT_THROW(jnl().undo(undone, reg()), JournalError);
    EXPECT_THROW(jnl().redo(copy, reg()), JournalError);
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, "Software\\Saved", {2}));

    // The copied secret changed since: the digest tells, and the later change is named.
    ASSERT_EQ(
        CopyRegKey(HKEY_LOCAL_MACHINE, kWinlogon, HKEY_LOCAL_MACHINE, "Software\\Saved", {2}, {2}),
        0);
    const auto again = jnl().list().front().id;
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Saved", "DefaultPassword",
                                kOtherSecret, {2, 6}),
              0);
    const auto changed = jnl().list().front().id;
    try {
        jnl().undo(again, reg());
        ADD_FAILURE() << "undo over a changed secret";
    } catch (const JournalError& e) {
        EXPECT_NE(std::string(e.what()).find("von Transaktion " + std::to_string(changed)),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(str("Software\\Saved", "DefaultPassword"), kOtherSecret);
    // The same secret set back: no conflict any more.
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Saved", "DefaultPassword", kSecret,
                                {2, 6}),
              0);
    EXPECT_NO_THROW(jnl().undo(again, reg()));
    EXPECT_FALSE(KeyExist(HKEY_LOCAL_MACHINE, "Software\\Saved", {2}));
    expectNoSecret("undo");
}

TEST_P(JournalSecrets, AKeyDeletionCutShortIsSettledByWhatTheFilesHold) {
    plant();
    reg().flush();
    // The process dies before the end: the files never got it, the key comes back whole.
    open();
    BackupStart(0, "");
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2}), 0);
    session.reset();
    open();
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), kSecret);
    EXPECT_EQ(str(kWinlogon, "AutoAdminLogon"), "0") << "as the template has it";
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "1", {2}), 0);
    reg().flush();
    const auto before = jnl().list().size();

    // It dies after the files were saved, before the end was committed: the digests show
    // the files hold it, so it counts.
    open();
    BackupStart(0, "");
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", "0", {2}), 0);
    session.reset();
    {
        // What the end's save wrote, made by a registry that journals nothing.
        auto files = registry::Registry::openMachine(dir.path());
        ASSERT_EQ(files->deleteKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
        ASSERT_EQ(files->setValue(HKEY_LOCAL_MACHINE, kWinlogon, "AutoAdminLogon", REG_SZ,
                                  makeStringData("0"), {2}),
                  0);
        files->flush();
    }
    open();
    EXPECT_EQ(str(kWinlogon, "DefaultPassword"), "<missing>");
    EXPECT_EQ(str(kWinlogon, "AutoAdminLogon"), "0");
    EXPECT_EQ(jnl().list().size(), before + 1) << "committed by recovery";
    session.reset();
    expectNoSecret("recovery");
}

TEST_P(JournalSecrets, AJournalOfTheFormerFormatKnowsItsSecretsAfterTheUpgrade) {
    // A value written as sensitive data under the format before, which named no secrets of
    // keys.
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Vault", "Pin", kOtherSecret, {2, 6}),
              0);
    session.reset();
    {
        journal::Database raw(dir.file(".deskforge/journal.sqlite"), false);
        raw.exec("ALTER TABLE changes DROP COLUMN secrets");
        raw.exec("PRAGMA user_version=3");
    }
    {
        auto old = journal::Journal::openReadOnly(dir.path());
        ASSERT_TRUE(old);
        EXPECT_EQ(old->list().size(), 1u);
    }
    open();
    ASSERT_EQ(CopyRegKey(HKEY_LOCAL_MACHINE, "Software\\Vault", HKEY_LOCAL_MACHINE,
                         "Software\\Copy", {2}, {2}),
              0);
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Vault", {2}), 0);
    // The copy's secret is known from the copy: deleting it keeps it out too.
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Copy", {2}), 0);
    EXPECT_EQ(jnl().list().size(), 4u);
    session.reset();
    expectNoSecret("upgraded journal");
    journal::Database raw(dir.file(".deskforge/journal.sqlite"), false);
    journal::Statement s(raw, "PRAGMA user_version");
    ASSERT_TRUE(s.step());
    EXPECT_EQ(s.integer(0), journal::Journal::kSchemaVersion);
}

TEST_P(JournalSecrets, AnUpgradeScrubsTheSecretsThatOldKeyImagesHeldInClear) {
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Unrelated", "Colour", "blue", {2}),
              0);
    const auto unrelated = jnl().list().front().id;
    plant();
    ASSERT_EQ(SetRegStringValue(HKEY_LOCAL_MACHINE, "Software\\Vault", "Pin", kOtherSecret, {2, 6}),
              0);
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, "Software\\Vault", {2}), 0);
    ASSERT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, kWinlogon, {2}), 0);
    const auto deletion = jnl().list().front().id;
    const auto vaultDeletion = jnl().list()[1].id;
    session.reset();
    {
        // The rows as the former format wrote them: the deleted keys' images in clear.
        journal::Database raw(dir.file(".deskforge/journal.sqlite"), false);
        const std::pair<std::string, std::string> clear[] = {
            {"DefaultPassword", kSecret},
            {"AltDefaultPassword", kSecret + "-alt"},
            {"Pin", kOtherSecret}};
        std::vector<std::pair<std::int64_t, std::string>> rows;
        {
            journal::Statement s(raw, "SELECT id, before_data FROM changes WHERE kind='key' AND "
                                      "sensitive<>0");
            while (s.step())
                rows.emplace_back(s.integer(0), s.blobText(1));
        }
        ASSERT_EQ(rows.size(), 2u);
        for (auto& [id, image] : rows) {
            // In whichever encoding the image was written.
            for (const auto& [name, data] : clear)
                for (auto encode : {+[](const std::string& t) { return t; }, &utf16}) {
                    const std::string left =
                        encode("; \"" + name + "\" holds sensitive data and is left out");
                    if (auto at = image.find(left); at != std::string::npos)
                        image.replace(at, left.size(), encode("\"" + name + "\"=\"" + data + "\""));
                }
            EXPECT_NE(whereIn(image, kSecret) + whereIn(image, kOtherSecret), "") << id;
            journal::Statement u(raw, "UPDATE changes SET before_data=?, sensitive=0, "
                                      "before_digest=NULL, after_digest=NULL WHERE id=?");
            u.bindBlob(1, image).bind(2, id).run();
        }
        raw.exec("ALTER TABLE changes DROP COLUMN secrets");
        raw.exec("PRAGMA user_version=3");
    }
    {
        auto old = journal::Journal::openReadOnly(dir.path());
        ASSERT_TRUE(old);
        const auto entries = old->entries(deletion);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_NE(whereIn(*entries.front().registry.beforeTree, kSecret), "");
    }

    open();
    session.reset();
    expectNoSecret("upgraded journal");
    {
        journal::Database raw(dir.file(".deskforge/journal.sqlite"), false);
        journal::Statement v(raw, "PRAGMA user_version");
        ASSERT_TRUE(v.step());
        EXPECT_EQ(v.integer(0), journal::Journal::kSchemaVersion);
    }

    std::string out;
    ASSERT_EQ(deskforge({"journal", "list"}, &out), 0) << out;
    ASSERT_EQ(deskforge({"journal", "show", std::to_string(deletion)}, &out), 0) << out;
    EXPECT_NE(out.find("Winlogon gelöscht"), std::string::npos) << out;
    EXPECT_EQ(whereIn(out, kSecret), "") << out;
    ASSERT_EQ(deskforge({"journal", "export", dir.file("all.reg")}, &out), 0) << out;
    const std::string patch = test::readFile(dir.file("all.reg"));
    for (const auto& secret : {kSecret, kOtherSecret})
        EXPECT_EQ(whereIn(patch, secret), "") << secret;

    open();
    try {
        jnl().undo(deletion, reg());
        ADD_FAILURE() << "the undo restored a key without its secret";
    } catch (const JournalError& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "der vertrauliche Werte enthielt, deren Inhalt das Journal nicht "
                      "aufbewahrt; sie kann nicht rückgängig gemacht werden"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_THROW(jnl().undo(vaultDeletion, reg()), JournalError) << "the vault's deletion";
    EXPECT_NO_THROW(jnl().undo(unrelated, reg()));
    EXPECT_EQ(str("Software\\Unrelated", "Colour"), "<missing>");
    session.reset();
    expectNoSecret("after the undo");
}

INSTANTIATE_TEST_SUITE_P(BothMachines, JournalSecrets, ::testing::Bool(), kindName);
