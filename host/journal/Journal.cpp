#include "host/journal/Journal.h"

#include "host/journal/KeyedMerge.h"

#include "host/registry/FileUtil.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin::journal {

using registry::RegistryChange;

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS transactions(
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    page TEXT NOT NULL DEFAULT '',
    control TEXT NOT NULL DEFAULT '',
    label TEXT NOT NULL DEFAULT '',
    kind TEXT NOT NULL,
    category INTEGER NOT NULL DEFAULT 0,
    target INTEGER NOT NULL DEFAULT 0,
    state TEXT NOT NULL DEFAULT 'done'); -- 'open' until the transaction is committed whole
CREATE TABLE IF NOT EXISTS changes(
    id INTEGER PRIMARY KEY,
    txn INTEGER NOT NULL,           -- 0: kept for recovery only, not listed
    kind TEXT NOT NULL,             -- 'value', 'key' or 'file'
    hive_file TEXT NOT NULL DEFAULT '',
    key_path TEXT NOT NULL DEFAULT '',  -- for files: the file's path
    full_name TEXT NOT NULL DEFAULT '',
    value_name TEXT NOT NULL DEFAULT '',
    before_exists INTEGER NOT NULL,
    before_type INTEGER,
    before_data BLOB,
    after_exists INTEGER NOT NULL,
    after_type INTEGER,
    after_data BLOB,
    sensitive INTEGER NOT NULL DEFAULT 0,
    applied INTEGER NOT NULL DEFAULT 1,
    unit INTEGER NOT NULL DEFAULT 0, -- the transaction whose end commits the row; 0: itself
    before_digest BLOB,              -- sensitive values: salt and digest, never the data
    after_digest BLOB,
    secrets BLOB);                   -- keys: the values whose data their images left out
CREATE INDEX IF NOT EXISTS changes_by_hive ON changes(hive_file, id);
CREATE INDEX IF NOT EXISTS changes_by_txn ON changes(txn, id);
CREATE TABLE IF NOT EXISTS flushes(
    hive_file TEXT PRIMARY KEY,
    last_change INTEGER NOT NULL);
)";

// From the first format: every row was committed by itself.
constexpr const char* kUpgradeFrom1 = R"(
ALTER TABLE transactions ADD COLUMN state TEXT NOT NULL DEFAULT 'done';
ALTER TABLE changes ADD COLUMN unit INTEGER NOT NULL DEFAULT 0;
)";

// From the second: sensitive values are compared by a digest.
constexpr const char* kUpgradeFrom2 = R"(
ALTER TABLE changes ADD COLUMN before_digest BLOB;
ALTER TABLE changes ADD COLUMN after_digest BLOB;
)";

// From the third: a key's images may leave out the data of secret values, named here.
constexpr const char* kUpgradeFrom3 = R"(
ALTER TABLE changes ADD COLUMN secrets BLOB;
)";

constexpr const char* kChangeColumns2 = "id, kind, hive_file, key_path, full_name, value_name, "
                                        "before_exists, before_type, before_data, "
                                        "after_exists, after_type, after_data, sensitive, "
                                        "NULL, NULL";
constexpr const char* kChangeColumns = "id, kind, hive_file, key_path, full_name, value_name, "
                                       "before_exists, before_type, before_data, "
                                       "after_exists, after_type, after_data, sensitive, "
                                       "before_digest, after_digest";

// The row's `sensitive` column: 1 for a sensitive value; for a key, 1 with a flag for each
// image that lost the data of secret values.
constexpr std::int64_t kBeforeHeldSecrets = 2, kAfterHeldSecrets = 4;

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const char* fileKindName(FileChange::Kind k) {
    switch (k) {
    case FileChange::Kind::Folder:
        return "folder";
    case FileChange::Kind::Attribute:
        return "attr";
    default:
        return "file";
    }
}

JournalEntry readEntry(const Statement& s) {
    JournalEntry e;
    e.id = s.integer(0);
    std::string kind = s.text(1);
    if (kind == "file" || kind == "folder" || kind == "attr") {
        e.isFile = true;
        e.file.kind = kind == "folder" ? FileChange::Kind::Folder
                      : kind == "attr" ? FileChange::Kind::Attribute
                                       : FileChange::Kind::Content;
        e.file.path = s.text(3);
        if (s.integer(6)) e.file.before = s.blobText(8);
        if (s.integer(9)) e.file.after = s.blobText(11);
        return e;
    }
    RegistryChange& c = e.registry;
    c.kind = kind == "key" ? RegistryChange::Kind::Key : RegistryChange::Kind::Value;
    c.hiveFile = s.text(2);
    c.keyPath = s.text(3);
    c.fullName = s.text(4);
    c.valueName = s.text(5);
    c.sensitive = s.integer(12) != 0;
    e.beforeHeldSecrets = (s.integer(12) & kBeforeHeldSecrets) != 0;
    e.afterHeldSecrets = (s.integer(12) & kAfterHeldSecrets) != 0;
    if (!s.isNull(13)) e.beforeDigest = s.blobText(13);
    if (!s.isNull(14)) e.afterDigest = s.blobText(14);
    if (c.kind == RegistryChange::Kind::Value) {
        if (s.integer(6))
            c.before = RegistryValue{c.valueName, static_cast<DWORD>(s.integer(7)), s.blob(8)};
        if (s.integer(9))
            c.after = RegistryValue{c.valueName, static_cast<DWORD>(s.integer(10)), s.blob(11)};
    } else {
        if (s.integer(6)) c.beforeTree = s.blobText(8);
        if (s.integer(9)) c.afterTree = s.blobText(11);
    }
    return e;
}

std::string quoteData(const RegistryValue& v) {
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ)) return "\"" + stringFromData(v.data) + "\"";
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x",
                      static_cast<unsigned>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                                            static_cast<unsigned>(v.data[3]) << 24));
        return buf;
    }
    if (v.type == REG_MULTI_SZ) {
        std::string out;
        for (const auto& item : multiStringFromData(v.data))
            out += (out.empty() ? "\"" : ", \"") + item + "\"";
        return out.empty() ? text::tr("(leere Liste)") : out;
    }
    std::string out = std::string(typeName(v.type)) + ":";
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < v.data.size() && i < 16; ++i) {
        out.push_back(kDigits[v.data[i] >> 4]);
        out.push_back(kDigits[v.data[i] & 15]);
    }
    if (v.data.size() > 16) out += "...";
    return out;
}

// SHA-256, for the digests that stand in for sensitive values.
std::string sha256(const std::string& message) {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string m = message;
    const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
    m.push_back(static_cast<char>(0x80));
    while (m.size() % 64 != 56)
        m.push_back('\0');
    for (int i = 7; i >= 0; --i)
        m.push_back(static_cast<char>(bits >> (i * 8)));
    auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    for (std::size_t chunk = 0; chunk < m.size(); chunk += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(m.data() + chunk + i * 4);
            w[i] = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                   std::uint32_t(p[2]) << 8 | p[3];
        }
        for (int i = 16; i < 64; ++i) {
            std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6],
                      hh = h[7];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t t1 =
                hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            std::uint32_t t2 =
                (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
    }
    std::string out;
    for (std::uint32_t v : h)
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<char>(v >> (i * 8)));
    return out;
}

// A salted digest of a value: 16 bytes of salt, then SHA-256 of salt, type and data. The
// salt keeps equal secrets from showing as equal digests across rows.
std::string randomSalt() {
    std::string salt;
    std::random_device random;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t r = random();
        salt.append(reinterpret_cast<const char*>(&r), 4);
    }
    return salt;
}

std::string valueDigest(const RegistryValue& v, std::string salt = {}) {
    if (salt.empty()) salt = randomSalt();
    std::string input = salt;
    for (int i = 0; i < 4; ++i)
        input.push_back(static_cast<char>(v.type >> (i * 8)));
    input.append(v.data.begin(), v.data.end());
    return salt + sha256(input);
}

// Whether a value (or its absence) is what a stored digest (or absence) stands for.
bool matchesDigest(const std::optional<RegistryValue>& v, const std::optional<std::string>& d) {
    if (!v || !d) return !v && !d;
    if (d->size() != 48) return false;
    return valueDigest(*v, d->substr(0, 16)) == *d;
}

// A subtree image in a form that does not depend on the order its values and subkeys were
// written in.
std::vector<std::string> canonicalTree(const std::optional<std::string>& image) {
    std::vector<std::string> out;
    if (!image) return out;
    auto content = registry::parseRegFile(*image, text::tr("Journal-Abbild"));
    for (const auto& op : content.operations) {
        std::string line = text::foldName(op.key) + "\n";
        if (op.kind == registry::RegFileOperation::Kind::SetValue) {
            line += text::foldName(op.value.name) + "\n" + std::to_string(op.value.type) + "\n";
            line.append(op.value.data.begin(), op.value.data.end());
        }
        out.push_back(std::move(line));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool sameValue(const std::optional<RegistryValue>& a, const std::optional<RegistryValue>& b) {
    if (!a || !b) return !a && !b;
    return a->type == b->type && a->data == b->data;
}

bool underKey(const std::string& path, const std::string& key) {
    std::string p = text::foldName(path), k = text::foldName(key);
    return k.empty() || p == k ||
           (p.size() > k.size() && p.compare(0, k.size(), k) == 0 && p[k.size()] == '\\');
}

// A key image's digest: salt, then SHA-256 of salt and the image in canonical form. It
// stands in for an image that held secret values.
std::string treeDigest(const std::string& image, std::string salt = {}) {
    if (salt.empty()) salt = randomSalt();
    std::string input = salt;
    for (const auto& line : canonicalTree(image)) {
        for (int i = 0; i < 8; ++i)
            input.push_back(static_cast<char>(static_cast<std::uint64_t>(line.size()) >> (i * 8)));
        input += line;
    }
    return salt + sha256(input);
}

bool matchesTreeDigest(const std::optional<std::string>& tree,
                       const std::optional<std::string>& d) {
    if (!tree || !d) return !tree && !d;
    if (d->size() != 48) return false;
    return treeDigest(*tree, d->substr(0, 16)) == *d;
}

std::string placeOf(const JournalEntry& e) {
    if (e.isFile) return std::string(fileKindName(e.file.kind)) + "\n" + e.file.path;
    const RegistryChange& c = e.registry;
    return std::string(c.kind == RegistryChange::Kind::Key ? "key\n" : "value\n") + c.hiveFile +
           "\n" + text::foldName(c.keyPath) + "\n" + text::foldName(c.valueName);
}

// Whether a later change of the same transaction lands on what an earlier one left: the
// same value, or anything at, above or below a key.
bool overlaps(const RegistryChange& earlier, const RegistryChange& later) {
    if (earlier.hiveFile != later.hiveFile) return false;
    if (earlier.kind == RegistryChange::Kind::Value)
        return later.kind == RegistryChange::Kind::Key
                   ? underKey(earlier.keyPath, later.keyPath)
                   : text::namesEqual(earlier.keyPath, later.keyPath) &&
                         text::namesEqual(earlier.valueName, later.valueName);
    return underKey(later.keyPath, earlier.keyPath) ||
           (later.kind == RegistryChange::Kind::Key && underKey(earlier.keyPath, later.keyPath));
}

// The secrets of a key change as stored: each key and name with its length before it.
std::string packSecrets(const std::vector<registry::SecretValue>& secrets) {
    std::string out;
    auto put = [&](const std::string& part) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>(static_cast<std::uint32_t>(part.size()) >> (i * 8)));
        out += part;
    };
    for (const auto& s : secrets)
        put(s.key), put(s.name);
    return out;
}

std::vector<registry::SecretValue> unpackSecrets(const std::string& packed) {
    std::vector<registry::SecretValue> out;
    std::size_t at = 0;
    auto take = [&](std::string& part) {
        if (packed.size() - at < 4) return false;
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= std::uint32_t(static_cast<unsigned char>(packed[at + i])) << (i * 8);
        at += 4;
        if (packed.size() - at < n) return false;
        part = packed.substr(at, n);
        at += n;
        return true;
    };
    registry::SecretValue s;
    while (at < packed.size() && take(s.key) && take(s.name))
        out.push_back(s);
    return out;
}

// Key rows written before key images left secrets out may hold them in clear. Each is
// redacted as a key change of this format is recorded: the images without the data of
// their secret values, the digests of the whole images, the secrets named. Which values
// are secret is found as a key change finds them: automatic-logon secrets by where they
// lie, values written as sensitive, and the secrets that earlier keys took along.
void scrubKeyImages(Database& db, const std::string& path) {
    struct Place {
        std::string key, name;
    };
    std::map<std::string, std::vector<Place>> known; // by hive file
    {
        Statement s(db, "SELECT DISTINCT hive_file, key_path, value_name FROM changes WHERE "
                        "kind='value' AND sensitive<>0");
        while (s.step())
            known[s.text(0)].push_back({s.text(1), s.text(2)});
    }
    struct Row {
        std::int64_t id;
        std::string hive, keyPath;
        std::optional<std::string> images[2];
    };
    std::vector<Row> rows;
    {
        Statement s(db, "SELECT id, hive_file, key_path, before_exists, before_data, "
                        "after_exists, after_data FROM changes WHERE kind='key' ORDER BY id");
        while (s.step()) {
            Row r{s.integer(0), s.text(1), s.text(2), {}};
            if (s.integer(3) && !s.isNull(4)) r.images[0] = s.blobText(4);
            if (s.integer(5) && !s.isNull(6)) r.images[1] = s.blobText(6);
            rows.push_back(std::move(r));
        }
    }
    for (auto& r : rows) {
        std::vector<Place>& secretPlaces = known[r.hive];
        std::vector<registry::SecretValue> secrets;
        try {
            for (const auto& image : r.images) {
                if (!image) continue;
                for (const auto& op :
                     registry::parseRegFile(*image, text::tr("Journal-Abbild")).operations) {
                    if (op.kind != registry::RegFileOperation::Kind::SetValue) continue;
                    const std::string rel(registry::imageRelativeKey(op.key));
                    const std::string at = rel.empty() ? r.keyPath : r.keyPath + "\\" + rel;
                    const bool secret =
                        registry::isSecretValue(at, op.value.name) ||
                        std::any_of(secretPlaces.begin(), secretPlaces.end(), [&](const Place& p) {
                            return text::namesEqual(p.key, at) &&
                                   text::namesEqual(p.name, op.value.name);
                        });
                    if (secret && !registry::isSecret(secrets, rel, op.value.name))
                        secrets.push_back({rel, op.value.name});
                }
            }
        } catch (const std::exception& e) {
            // Left as it is, the row might keep a secret in clear: nothing is upgraded.
            throw JournalError(text::trf("%1: Die Änderung %2 enthält ein Schlüsselabbild, das "
                                         "nicht gelesen werden kann: %3",
                                         path, std::to_string(r.id), e.what()));
        }
        if (secrets.empty()) continue;
        std::int64_t sensitive = 1;
        std::optional<std::string> digests[2];
        for (int i = 0; i < 2; ++i) {
            if (!r.images[i]) continue;
            bool left = false;
            digests[i] = treeDigest(*r.images[i]);
            r.images[i] = registry::redactedTree(*r.images[i], secrets, left);
            if (left) sensitive |= i == 0 ? kBeforeHeldSecrets : kAfterHeldSecrets;
        }
        Statement u(db, "UPDATE changes SET before_data=?, after_data=?, sensitive=?, "
                        "before_digest=?, after_digest=?, secrets=? WHERE id=?");
        for (int i = 0; i < 2; ++i) {
            if (r.images[i])
                u.bindBlob(1 + i, *r.images[i]);
            else
                u.bindNull(1 + i);
            if (digests[i])
                u.bindBlob(4 + i, *digests[i]);
            else
                u.bindNull(4 + i);
        }
        u.bind(3, sensitive).bindBlob(6, packSecrets(secrets)).bind(7, r.id);
        u.run();
        // A copy's secrets are secret where it put them too.
        for (const auto& secret : secrets)
            secretPlaces.push_back(
                {secret.key.empty() ? r.keyPath : r.keyPath + "\\" + secret.key, secret.name});
    }
}

// What was scrubbed may live on in free pages of the file and in its write-ahead log: the
// file is rebuilt and the log emptied. A task left in `upkeep` (a crash before the rebuild)
// is done on the next open.
constexpr const char* kVacuumTask = "vacuum";

bool vacuumPending(Database& db) {
    Statement t(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='upkeep'");
    if (!t.step()) return false;
    Statement s(db, "SELECT 1 FROM upkeep WHERE task=?");
    s.bind(1, std::string(kVacuumTask));
    return s.step();
}

void vacuum(Database& db) {
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db.exec("VACUUM");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    // Only once the rebuild is in the file: a crash before leaves the task for next time.
    db.exec("PRAGMA secure_delete=ON");
    db.exec("DROP TABLE upkeep");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

} // namespace

std::string describe(const JournalEntry& e) {
    if (e.isFile && e.file.kind == FileChange::Kind::Folder)
        return e.file.after ? text::trf("%1 (Ordner) angelegt", e.file.path)
                            : text::trf("%1 (Ordner) entfernt", e.file.path);
    if (e.isFile && e.file.kind == FileChange::Kind::Attribute)
        return e.file.after == std::optional<std::string>("hidden")
                   ? text::trf("%1 versteckt", e.file.path)
                   : text::trf("%1 sichtbar gemacht", e.file.path);
    if (e.isFile)
        return e.file.after ? text::trf("%1 geschrieben", e.file.path)
                            : text::trf("%1 gelöscht", e.file.path);
    const RegistryChange& c = e.registry;
    if (c.kind == RegistryChange::Kind::Key) {
        if (!c.afterTree) return text::trf("%1 gelöscht", c.fullName);
        return c.beforeTree ? text::trf("%1 ersetzt", c.fullName)
                            : text::trf("%1 angelegt", c.fullName);
    }
    std::string name = c.valueName.empty() ? text::tr("(Standard)") : "\"" + c.valueName + "\"";
    if (!c.after) return text::trf("%1 %2 gelöscht", c.fullName, name);
    return c.fullName + " " + name + " = " +
           (c.sensitive ? text::tr("(vertraulich)") : quoteData(*c.after));
}

Journal::Journal(std::unique_ptr<Database> db, std::string machineDir, bool readOnly, int version)
    : db_(std::move(db)), machineDir_(std::move(machineDir)), readOnly_(readOnly),
      hasUnits_(version >= 2), hasDigests_(version >= 3),
      hasSecrets_(version >= 4), roots_{machineDir_} {}

std::string Journal::columns() const {
    return hasDigests_ ? kChangeColumns : kChangeColumns2;
}

Journal::~Journal() = default;

bool Journal::exists(const std::string& machineDir) {
    struct stat st {};
    return ::stat((machineDir + "/.deskforge/journal.sqlite").c_str(), &st) == 0;
}

namespace {

// Checks the journal's format before anything is written: a bad or newer journal stays as
// it is. Returns its version.
std::int64_t checkedVersion(Database& db, const std::string& path) {
    std::int64_t version = 0;
    {
        Statement s(db, "PRAGMA user_version");
        if (s.step()) version = s.integer(0);
    }
    if (version > Journal::kSchemaVersion)
        throw JournalError(text::trf("%1: Das Journal wurde von einer neueren Version von "
                                     "deskforge geschrieben (Format %2, diese liest bis Format %3)",
                                     path, std::to_string(version),
                                     std::to_string(Journal::kSchemaVersion)));
    Statement s(db, "PRAGMA quick_check");
    if (s.step() && s.text(0) != "ok")
        throw JournalError(text::trf("%1: Das Journal ist beschädigt: %2", path, s.text(0)));
    return version;
}

JournalError openError(const std::string& path, const SqliteError& e) {
    if (e.code() == SQLITE_NOTADB || e.code() == SQLITE_CORRUPT)
        return JournalError(text::trf(
            "%1: Das Journal ist beschädigt oder keine Journal-Datenbank: %2", path, e.what()));
    return JournalError(text::trf("Das Journal kann nicht geöffnet werden: %1", e.what()));
}

} // namespace

std::unique_ptr<Journal> Journal::open(const std::string& machineDir) {
    std::string dir = machineDir + "/.deskforge";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        throw JournalError(text::trf("%1: In den Maschinenordner kann nicht geschrieben werden: %2",
                                     machineDir, std::strerror(errno)));
    std::string path = dir + "/journal.sqlite";
    try {
        auto db = std::make_unique<Database>(path, true);
        std::int64_t version = checkedVersion(*db, path);
        db->exec("PRAGMA journal_mode=WAL");
        db->exec("PRAGMA synchronous=FULL");
        if (version < kSchemaVersion) {
            // Whatever the log holds of the old rows goes into the file, which is rebuilt.
            if (version >= 1) db->exec("PRAGMA wal_checkpoint(TRUNCATE)");
            WriteTransaction t(*db);
            if (version == 0) db->exec(kSchema);
            if (version == 1) db->exec(kUpgradeFrom1);
            if (version == 1 || version == 2) db->exec(kUpgradeFrom2);
            if (version >= 1) {
                db->exec(kUpgradeFrom3);
                scrubKeyImages(*db, path);
                db->exec("CREATE TABLE IF NOT EXISTS upkeep(task TEXT PRIMARY KEY)");
                db->exec(std::string("INSERT OR IGNORE INTO upkeep VALUES('") + kVacuumTask + "')");
            }
            db->exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
            t.commit();
        }
        if (vacuumPending(*db)) vacuum(*db);
        return std::unique_ptr<Journal>(
            new Journal(std::move(db), machineDir, false, kSchemaVersion));
    } catch (const SqliteError& e) {
        throw openError(path, e);
    }
}

std::unique_ptr<Journal> Journal::openReadOnly(const std::string& machineDir) {
    if (!exists(machineDir)) return nullptr;
    std::string path = machineDir + "/.deskforge/journal.sqlite";
    try {
        auto db = Database::openReadOnly(path);
        std::int64_t version = checkedVersion(*db, path);
        if (version == 0) return nullptr; // made but never written
        return std::unique_ptr<Journal>(
            new Journal(std::move(db), machineDir, true, static_cast<int>(version)));
    } catch (const SqliteError& e) {
        throw openError(path, e);
    }
}

std::int64_t Journal::unitFor() const {
    if (forcedTxn_) return forcedTxn_;
    return backupTxn_;
}

void Journal::requireInside(const std::string& path) const {
    if (!registry::resolvesInside(path, roots_) && !(pathGuard_ && pathGuard_(path)))
        throw JournalError(
            text::trf("%1: Abgelehnt: Das Journal nennt eine Datei außerhalb des "
                      "Maschinenordners %2 (Verknüpfungen verfolgt); es wurde nichts "
                      "geschrieben.",
                      path, machineDir_));
}

bool Journal::recording() const {
    if (gate_ && !gate_()) return false;
    return backupTxn_ != 0 || !stopped_;
}

void Journal::setContext(const std::string& page, const std::string& control) {
    page_ = page;
    control_ = control;
    ++context_;
}

void Journal::stop() {
    stopped_ = true;
}
void Journal::start() {
    stopped_ = false;
}

std::int64_t Journal::newTransaction(const std::string& kind, const std::string& label,
                                     std::int64_t target, bool open) {
    const int category =
        pendingCategory_ >= 0 && pendingContext_ == context_ ? pendingCategory_ : 0;
    // A single change is committed with its row; the others stay open until their end.
    Statement s(*db_, "INSERT INTO transactions(time, page, control, label, kind, target, "
                      "category, state) VALUES(?,?,?,?,?,?,?,?)");
    s.bind(1, now())
        .bind(2, page_)
        .bind(3, control_)
        .bind(4, label)
        .bind(5, kind)
        .bind(6, target)
        .bind(7, category)
        .bind(8, std::string(kind == "change" && !open ? "done" : "open"));
    s.run();
    lastTxnContext_ = context_;
    lastTxn_ = db_->lastInsertId(); // a flag in this action labels this transaction
    return lastTxn_;
}

void Journal::backupStart(const std::string& label) {
    if (backupTxn_) return; // a backup inside a backup joins the outer one
    try {
        WriteTransaction t(*db_);
        backupTxn_ = newTransaction("backup", label, 0);
        t.commit();
        steps_.clear();
        failed_ = holdSecrets_ = flushedDuring_ = false;
    } catch (const SqliteError& e) {
        backupTxn_ = 0;
        throw JournalError(text::trf("Das Journal kann nicht geschrieben werden: %1", e.what()));
    }
    backupLabel_ = label;
    backupUsed_ = false;
}

std::int64_t Journal::backupEnd(registry::Registry* reg) {
    if (!backupTxn_) return 0;
    if (failed_) {
        voidBackup(reg);
        return 0;
    }
    if (holdSecrets_) {
        // Sensitive values cannot be replayed: the files are saved before the end is
        // committed. A crash in between is settled by recovery from their digests.
        holdSecrets_ = false;
        if (reg) {
            try {
                reg->flush();
            } catch (...) {
                voidBackup(reg);
                throw;
            }
        }
    }
    std::int64_t txn = backupTxn_;
    try {
        // The commit point of the whole transaction.
        WriteTransaction t(*db_);
        if (backupUsed_) {
            Statement s(*db_, "UPDATE transactions SET state='done' WHERE id=?");
            s.bind(1, txn).run();
        } else {
            // Nothing listed was written in it; rows kept for recovery only stand alone.
            Statement u(*db_, "UPDATE changes SET unit=0 WHERE unit=?");
            u.bind(1, txn).run();
            Statement d(*db_, "DELETE FROM transactions WHERE id=?");
            d.bind(1, txn).run();
        }
        t.commit();
    } catch (const SqliteError& e) {
        voidBackup(reg);
        throw JournalError(text::trf("Das Journal kann nicht geschrieben werden, die Transaktion "
                                     "wurde nicht abgeschlossen: %1",
                                     e.what()));
    }
    backupTxn_ = 0;
    steps_.clear();
    return backupUsed_ ? txn : 0;
}

void Journal::rollBackSteps(registry::Registry* reg) {
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (it->isFile) {
            try {
                putImage(it->file, it->file.before);
            } catch (const std::exception&) {
                // The rest still goes back; the row stays in a transaction that is not
                // committed, so nothing replays it.
            }
        } else if (reg) {
            reg->replayBefore({it->registry});
        }
    }
    steps_.clear();
}

void Journal::voidBackup(registry::Registry* reg) {
    if (!backupTxn_) return;
    const std::int64_t txn = backupTxn_;
    rollBackSteps(reg);
    holdSecrets_ = false;
    bool settled = true;
    if (reg && flushedDuring_) {
        // Part of it reached a file: the files get what memory holds again.
        try {
            reg->flush();
        } catch (const std::exception&) {
            settled = false; // left open: the next writer's recovery rolls it back
        }
    }
    backupTxn_ = 0;
    failed_ = flushedDuring_ = false;
    if (!settled) return;
    try {
        Statement s(*db_, "UPDATE transactions SET state='void' WHERE id=?");
        s.bind(1, txn).run();
    } catch (const SqliteError&) {
        // Left open: the next writer's recovery rolls it back.
    }
}

void Journal::setFlag(int category) {
    pendingCategory_ = category;
    pendingContext_ = context_;
    if (!lastTxn_ || lastTxnContext_ != context_) return;
    try {
        Statement s(*db_, "UPDATE transactions SET category=? WHERE id=?");
        s.bind(1, category).bind(2, lastTxn_).run();
    } catch (const SqliteError& e) {
        throw JournalError(text::trf("Das Journal kann nicht geschrieben werden: %1", e.what()));
    }
}

std::int64_t Journal::insertChange(std::int64_t txn, const RegistryChange& full) {
    // Of a sensitive value only whether it existed and a salted digest are kept.
    // Of a key whose subtree holds secret values, the images without their data and the
    // digests of the whole subtrees.
    RegistryChange c = full;
    std::optional<std::string> digests[2];
    std::int64_t sensitive = c.sensitive ? 1 : 0;
    if (c.sensitive && c.kind == RegistryChange::Kind::Key) {
        bool left = false;
        if (c.beforeTree) {
            digests[0] = treeDigest(*c.beforeTree);
            c.beforeTree = registry::redactedTree(*c.beforeTree, c.secrets, left);
            if (left) sensitive |= kBeforeHeldSecrets;
        }
        if (c.afterTree) {
            digests[1] = treeDigest(*c.afterTree);
            c.afterTree = registry::redactedTree(*c.afterTree, c.secrets, left);
            if (left) sensitive |= kAfterHeldSecrets;
        }
    } else if (c.sensitive) {
        if (c.before) digests[0] = valueDigest(*c.before), c.before->data.clear();
        if (c.after) digests[1] = valueDigest(*c.after), c.after->data.clear();
    }
    Statement s(*db_, "INSERT INTO changes(txn, kind, hive_file, key_path, full_name, value_name, "
                      "before_exists, before_type, "
                      "before_data, after_exists, after_type, after_data, sensitive, unit, "
                      "before_digest, after_digest, secrets) "
                      "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    s.bind(1, txn).bind(2, std::string(c.kind == RegistryChange::Kind::Key ? "key" : "value"));
    s.bind(3, c.hiveFile).bind(4, c.keyPath).bind(5, c.fullName).bind(6, c.valueName);
    auto bindImage = [&](int at, const std::optional<RegistryValue>& v,
                         const std::optional<std::string>& tree) {
        if (c.kind == RegistryChange::Kind::Value) {
            s.bind(at, v ? 1 : 0);
            if (v)
                s.bind(at + 1, static_cast<std::int64_t>(v->type)).bindBlob(at + 2, v->data);
            else
                s.bindNull(at + 1).bindNull(at + 2);
        } else {
            s.bind(at, tree ? 1 : 0).bindNull(at + 1);
            if (tree)
                s.bindBlob(at + 2, *tree);
            else
                s.bindNull(at + 2);
        }
    };
    bindImage(7, c.before, c.beforeTree);
    bindImage(10, c.after, c.afterTree);
    s.bind(13, sensitive).bind(14, unitFor());
    for (int i = 0; i < 2; ++i)
        if (digests[i])
            s.bindBlob(15 + i, *digests[i]);
        else
            s.bindNull(15 + i);
    if (c.kind == RegistryChange::Kind::Key && c.sensitive)
        s.bindBlob(17, packSecrets(c.secrets));
    else
        s.bindNull(17);
    s.run();
    return db_->lastInsertId();
}

void Journal::record(const std::vector<RegistryChange>& changes) {
    if (readOnly_) throw JournalError(text::tr("Die Maschine wurde nur zum Lesen geöffnet."));
    try {
        WriteTransaction t(*db_);
        std::int64_t txn = 0;
        if (forcedTxn_) {
            txn = forcedTxn_;
        } else if (recording()) {
            if (backupTxn_) {
                txn = backupTxn_;
                backupUsed_ = true;
            } else {
                txn = newTransaction("change", "", 0);
            }
        }
        for (const auto& c : changes)
            insertChange(txn, c);
        t.commit();
        if (txn) lastTxn_ = txn;
        if (transactionOpen())
            for (const auto& c : changes) {
                steps_.push_back({false, c, {}});
                if (c.sensitive) holdSecrets_ = true;
            }
    } catch (const SqliteError& e) {
        throw JournalError(
            text::trf("Das Journal kann nicht geschrieben werden, die Änderung wurde "
                      "nicht vorgenommen: %1",
                      e.what()));
    }
}

void Journal::flushed(const std::string& hiveFile) {
    if (transactionOpen()) flushedDuring_ = true;
    try {
        Statement s(*db_, "INSERT OR REPLACE INTO flushes(hive_file, last_change) "
                          "SELECT ?, COALESCE(MAX(id), 0) FROM changes WHERE hive_file=?");
        s.bind(1, hiveFile).bind(2, hiveFile).run();
    } catch (const SqliteError& e) {
        // The rows stay pending and are applied again on the next open: harmless.
        (void)e;
    }
}

void Journal::writeFile(const std::string& path, const std::optional<std::string>& content) {
    requireInside(path);
    if (content) {
        registry::writeFileAtomically(path, *content);
    } else if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw RegistryAccessError(
            text::trf("%1: Die Datei kann nicht gelöscht werden: %2", path, std::strerror(errno)));
    }
}

void Journal::putImage(const FileChange& change, const std::optional<std::string>& image) {
    requireInside(change.path);
    switch (change.kind) {
    case FileChange::Kind::Content:
        writeFile(change.path, image);
        return;
    case FileChange::Kind::Folder:
        if (image) {
            if (::mkdir(change.path.c_str(), 0755) != 0 && errno != EEXIST)
                throw RegistryAccessError(text::trf("%1: Der Ordner kann nicht angelegt werden: %2",
                                                    change.path, std::strerror(errno)));
        } else if (::rmdir(change.path.c_str()) != 0 && errno != ENOENT) {
            // A save killed before its rename leaves its temporary file: ours to remove.
            if (errno == ENOTEMPTY || errno == EEXIST) {
                std::error_code ec;
                for (const auto& entry : std::filesystem::directory_iterator(change.path, ec))
                    if (entry.path().filename().string().find(".deskforge-") != std::string::npos)
                        std::filesystem::remove(entry.path(), ec);
                if (::rmdir(change.path.c_str()) == 0) return;
            }
            throw RegistryAccessError(text::trf("%1: Der Ordner kann nicht entfernt werden: %2",
                                                change.path, std::strerror(errno)));
        }
        return;
    case FileChange::Kind::Attribute:
        if (!attributeWriter_)
            throw RegistryAccessError(
                text::trf("%1: Die Attribute können hier nicht gesetzt werden.", change.path));
        attributeWriter_(change.path, image == std::optional<std::string>("hidden"));
        return;
    }
}

std::optional<std::string> Journal::currentImage(const FileChange& change) const {
    struct stat st {};
    switch (change.kind) {
    case FileChange::Kind::Folder:
        if (::stat(change.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::string();
        return std::nullopt;
    case FileChange::Kind::Attribute:
        if (!attributeReader_) return change.after;
        return std::string(attributeReader_(change.path) ? "hidden" : "visible");
    default:
        if (::access(change.path.c_str(), F_OK) != 0) return std::nullopt;
        return registry::readWholeFile(change.path);
    }
}

void Journal::recordFile(const FileChange& change, const std::function<void()>& apply) {
    if (readOnly_) throw JournalError(text::tr("Die Maschine wurde nur zum Lesen geöffnet."));
    requireInside(change.path);
    if (fileWriteGuard_) fileWriteGuard_(change.path);
    std::int64_t id = 0, own = 0;
    try {
        WriteTransaction t(*db_);
        std::int64_t txn = 0;
        if (forcedTxn_)
            txn = forcedTxn_;
        else if (recording()) {
            if (backupTxn_) {
                txn = backupTxn_;
                backupUsed_ = true;
            } else {
                // A change of its own is committed once the file has it.
                txn = own = newTransaction("change", "", 0, true);
            }
        }
        Statement s(*db_, "INSERT INTO changes(txn, kind, key_path, full_name, before_exists, "
                          "before_data, after_exists, "
                          "after_data, applied, unit) VALUES(?,?,?,?,?,?,?,?,0,?)");
        s.bind(1, txn).bind(2, std::string(fileKindName(change.kind)));
        s.bind(3, change.path).bind(4, change.path);
        s.bind(5, change.before ? 1 : 0);
        if (change.before)
            s.bindBlob(6, *change.before);
        else
            s.bindNull(6);
        s.bind(7, change.after ? 1 : 0);
        if (change.after)
            s.bindBlob(8, *change.after);
        else
            s.bindNull(8);
        s.bind(9, own ? own : unitFor());
        s.run();
        id = db_->lastInsertId();
        t.commit();
        if (txn) lastTxn_ = txn;
    } catch (const SqliteError& e) {
        throw JournalError(text::trf("Das Journal kann nicht geschrieben werden, die Datei wurde "
                                     "nicht geändert: %1",
                                     e.what()));
    }
    try {
        apply();
    } catch (...) {
        // Not made: the row counts for nothing, and a transaction it belongs to fails whole.
        try {
            WriteTransaction t(*db_);
            Statement u(*db_, "UPDATE changes SET txn=0, unit=-1, applied=1 WHERE id=?");
            u.bind(1, id).run();
            if (own) {
                Statement v(*db_, "UPDATE transactions SET state='void' WHERE id=?");
                v.bind(1, own).run();
            }
            t.commit();
        } catch (const SqliteError&) {
            // Left open or uncommitted, recovery puts back the image before, which is what
            // the file still holds.
        }
        if (transactionOpen()) failed_ = true;
        throw;
    }
    if (transactionOpen()) steps_.push_back({true, {}, change});
    try {
        WriteTransaction t(*db_);
        Statement s(*db_, "UPDATE changes SET applied=1 WHERE id=?");
        s.bind(1, id).run();
        if (own) {
            Statement d(*db_, "UPDATE transactions SET state='done' WHERE id=?");
            d.bind(1, own).run();
        }
        t.commit();
    } catch (const SqliteError&) {
        // A change of its own stays open and is rolled back by the next writer; in a
        // transaction, applied again on the next open, which writes the same content.
    }
}

// A transaction with sensitive values saves the files before its end is committed. One
// left open whose files hold what it left at every sensitive place (by their digests), and
// at one of them something other than what it found there, counts as committed: what it
// found there is not kept, so it can only go forward, and its other rows are replayed from
// the journal (a kill between two hive saves leaves them in one file only). Any other open
// one is rolled back.
void Journal::sensitiveCommitsOfCrash(registry::Registry& reg) {
    std::vector<std::int64_t> open;
    {
        Statement s(*db_, "SELECT DISTINCT c.unit FROM changes c JOIN transactions t ON "
                          "t.id=c.unit WHERE t.state='open' AND c.sensitive<>0");
        while (s.step())
            open.push_back(s.integer(0));
    }
    auto holdsAfter = [&](const JournalEntry& e) {
        const RegistryChange& c = e.registry;
        if (c.kind == RegistryChange::Kind::Value)
            return c.sensitive ? matchesDigest(reg.currentValue(c), e.afterDigest)
                               : sameValue(reg.currentValue(c), c.after);
        return c.sensitive ? matchesTreeDigest(reg.currentTree(c), e.afterDigest)
                           : canonicalTree(reg.currentTree(c)) == canonicalTree(c.afterTree);
    };
    auto holdsBefore = [&](const JournalEntry& e) {
        const RegistryChange& c = e.registry;
        return c.kind == RegistryChange::Kind::Value
                   ? matchesDigest(reg.currentValue(c), e.beforeDigest)
                   : matchesTreeDigest(reg.currentTree(c), e.beforeDigest);
    };
    for (std::int64_t txn : open) {
        std::vector<JournalEntry> list;
        Statement s(*db_, "SELECT " + columns() +
                              " FROM changes WHERE unit=? AND kind IN ('value','key') ORDER BY id");
        s.bind(1, txn);
        while (s.step())
            list.push_back(readEntry(s));
        bool all = true, someChanged = false;
        for (std::size_t i = 0; i < list.size() && all; ++i) {
            // A place a later change of the transaction landed on is judged by that one.
            bool later = false;
            for (std::size_t j = i + 1; j < list.size() && !later; ++j)
                later = overlaps(list[i].registry, list[j].registry);
            if (!later && list[i].registry.sensitive && !holdsAfter(list[i])) all = false;
        }
        std::vector<std::string> seen;
        for (const auto& e : list) {
            if (!e.registry.sensitive) continue;
            // The first image of the place, as the transaction found it.
            std::string place = placeOf(e);
            if (std::find(seen.begin(), seen.end(), place) != seen.end()) continue;
            seen.push_back(place);
            if (!holdsBefore(e)) someChanged = true;
        }
        if (all && someChanged) {
            Statement u(*db_, "UPDATE transactions SET state='done' WHERE id=?");
            u.bind(1, txn).run();
        }
    }
}

std::vector<registry::SecretValue> Journal::sensitiveValuesUnder(const std::string& hiveFile,
                                                                 const std::string& keyPath) {
    std::vector<registry::SecretValue> out;
    const std::size_t depth = registry::splitPath(keyPath).size();
    auto add = [&](const std::string& path, const std::string& name) {
        if (!underKey(path, keyPath)) return;
        auto parts = registry::splitPath(path);
        std::string rel;
        for (std::size_t i = depth; i < parts.size(); ++i)
            rel += (rel.empty() ? "" : "\\") + parts[i];
        out.push_back({std::move(rel), name});
    };
    try {
        // Values written as sensitive, and the secrets that keys took along.
        Statement s(*db_, std::string("SELECT DISTINCT kind, key_path, value_name, ") +
                              (hasSecrets_ ? "secrets" : "NULL") +
                              " FROM changes WHERE hive_file=? AND kind IN ('value','key') AND "
                              "sensitive<>0");
        s.bind(1, hiveFile);
        while (s.step()) {
            const std::string path = s.text(1);
            if (s.text(0) == "value") {
                add(path, s.text(2));
                continue;
            }
            if (s.isNull(3)) continue;
            for (const auto& secret : unpackSecrets(s.blobText(3)))
                add(secret.key.empty() ? path : path + "\\" + secret.key, secret.name);
        }
    } catch (const SqliteError& e) {
        // Unknown, the secrets would be stored in clear: the change is not made.
        throw JournalError(text::trf("Das Journal kann nicht gelesen werden, die Änderung wurde "
                                     "nicht vorgenommen: %1",
                                     e.what()));
    }
    return out;
}

std::size_t Journal::recover(registry::Registry& reg) {
    std::size_t applied = 0;
    // A transaction still open belongs to a process that died before its end: the machine
    // is locked by this one (or, read-only, shown as if it were).
    const std::string openUnits =
        hasUnits_ ? "(SELECT id FROM transactions WHERE state='open')" : "(SELECT 0 WHERE 0)";
    // Rows of a transaction rolled back before ('void') count for nothing.
    const std::string committed =
        hasUnits_ ? " AND (unit=0 OR unit IN (SELECT id FROM transactions WHERE state='done'))"
                  : "";
    auto rows = [&](const std::string& where, std::int64_t a, const std::string& b, bool bindB) {
        std::vector<JournalEntry> out;
        Statement s(*db_, std::string("SELECT ") + columns() + " FROM changes WHERE " + where);
        s.bind(1, a);
        if (bindB) s.bind(2, b);
        while (s.step())
            out.push_back(readEntry(s));
        return out;
    };
    std::size_t rolledBack = 0;
    try {
        if (!readOnly_ && hasDigests_) sensitiveCommitsOfCrash(reg);
        for (registry::Hive* hive : reg.hives()) {
            std::string id = reg.hiveId(*hive);
            std::int64_t last = 0;
            {
                Statement s(*db_, "SELECT last_change FROM flushes WHERE hive_file=?");
                s.bind(1, id);
                if (s.step()) last = s.integer(0);
            }
            std::vector<RegistryChange> pending;
            for (auto& e : rows("id>?1 AND hive_file=?2 AND kind IN ('value','key')" + committed +
                                    " ORDER BY id",
                                last, id, true))
                // A sensitive row carries no data: its hive was saved before it was
                // acknowledged.
                if (!e.registry.sensitive) pending.push_back(std::move(e.registry));
            reg.replay(pending);
            applied += pending.size();
            if (!hasUnits_) continue;
            // What an unfinished transaction had already put into the file goes back.
            std::vector<RegistryChange> undo;
            for (auto& e : rows("id<=?1 AND hive_file=?2 AND kind IN ('value','key') AND unit IN " +
                                    openUnits + " ORDER BY id DESC",
                                last, id, true))
                if (!e.registry.sensitive) undo.push_back(std::move(e.registry));
            reg.replayBefore(undo);
            rolledBack += undo.size();
        }
        if (!readOnly_) {
            // Files: an unfinished transaction's are put back, a finished one's written.
            std::vector<JournalEntry> back;
            if (hasUnits_)
                back = rows("kind IN ('file','folder','attr') AND unit IN " + openUnits +
                                " AND id>?1 ORDER BY id DESC",
                            0, {}, false);
            for (const auto& f : back)
                requireInside(f.file.path);
            std::vector<JournalEntry> files =
                rows(std::string("kind IN ('file','folder','attr') AND applied=0 AND id>?1") +
                         committed + " ORDER BY id",
                     0, {}, false);
            for (const auto& f : files)
                requireInside(f.file.path);
            for (const auto& f : back) {
                try {
                    putImage(f.file, f.file.before);
                } catch (const RegistryAccessError&) {
                    // A folder that holds what others put there since stays.
                    if (f.file.kind != FileChange::Kind::Folder) throw;
                }
                ++rolledBack;
            }
            for (const auto& f : files) {
                putImage(f.file, f.file.after);
                Statement s(*db_, "UPDATE changes SET applied=1 WHERE id=?");
                s.bind(1, f.id).run();
                ++applied;
            }
        }
    } catch (const SqliteError& e) {
        throw JournalError(text::trf("Das Journal kann nicht gelesen werden: %1", e.what()));
    }
    if (readOnly_) return applied + rolledBack;
    if ((applied || rolledBack) && reg.modified()) {
        try {
            reg.flush();
        } catch (const RegistryAccessError&) {
            // Not writable now (Wine runs): the rows stay pending, the registry in memory
            // already shows them, and the next writer completes the recovery.
            return applied + rolledBack;
        }
    }
    if (hasUnits_) {
        try {
            // Kept, not deleted: row numbers must keep growing, as the flush marks count on
            // them.
            db_->exec("UPDATE transactions SET state='void' WHERE state='open'");
        } catch (const SqliteError& e) {
            throw JournalError(
                text::trf("Das Journal kann nicht geschrieben werden: %1", e.what()));
        }
    }
    return applied + rolledBack;
}

std::vector<JournalEntry> Journal::entries(std::int64_t txn) {
    std::vector<JournalEntry> out;
    Statement s(*db_, std::string("SELECT ") + columns() + " FROM changes WHERE txn=? ORDER BY id");
    s.bind(1, txn);
    while (s.step())
        out.push_back(readEntry(s));
    return out;
}

std::optional<TransactionInfo> Journal::transaction(std::int64_t id) {
    auto all = list(id);
    for (auto& t : all)
        if (t.id == id) return t;
    return std::nullopt;
}

std::vector<TransactionInfo> Journal::list(std::int64_t since) {
    std::vector<TransactionInfo> out;
    try {
        Statement s(
            *db_, "SELECT t.id, t.time, t.page, t.control, t.label, t.kind, t.category, t.target, "
                  "(SELECT COUNT(*) FROM changes c WHERE c.txn=t.id) FROM transactions t WHERE "
                  "t.id>=? " +
                      std::string(hasUnits_ ? "AND (t.state='done' OR t.id=?) " : "") +
                      "ORDER BY t.id DESC");
        s.bind(1, since);
        if (hasUnits_) s.bind(2, backupTxn_ ? backupTxn_ : forcedTxn_);
        while (s.step()) {
            TransactionInfo t;
            t.id = s.integer(0);
            t.time = s.integer(1);
            t.page = s.text(2);
            t.control = s.text(3);
            t.label = s.text(4);
            t.kind = s.text(5);
            t.category = static_cast<int>(s.integer(6));
            t.target = s.integer(7);
            t.changes = static_cast<int>(s.integer(8));
            out.push_back(std::move(t));
        }
        for (auto& t : out) {
            Statement first(*db_, std::string("SELECT ") + columns() +
                                      " FROM changes WHERE txn=? ORDER BY id LIMIT 1");
            first.bind(1, t.id);
            if (first.step()) t.summary = describe(readEntry(first));
            if (t.changes > 1)
                t.summary = text::trf("%1 (+%2 weitere)", t.summary, std::to_string(t.changes - 1));
            if (t.kind == "undo")
                t.summary = text::trf("Transaktion %1 rückgängig gemacht: %2",
                                      std::to_string(t.target), t.summary);
            else if (t.kind == "redo")
                t.summary =
                    text::trf("Transaktion %1 wiederholt: %2", std::to_string(t.target), t.summary);
        }
    } catch (const SqliteError& e) {
        throw JournalError(text::trf("Das Journal kann nicht gelesen werden: %1", e.what()));
    }
    return out;
}

std::vector<RegistryChange> Journal::registryChangesSince(std::int64_t since) {
    std::vector<RegistryChange> out;
    Statement s(*db_, std::string("SELECT ") + columns() +
                          " FROM changes WHERE txn>=? AND txn>0 AND kind IN ('value','key')" +
                          (hasUnits_ ? " AND txn IN (SELECT id FROM transactions WHERE "
                                       "state='done')"
                                     : "") +
                          " ORDER BY id");
    s.bind(1, std::max<std::int64_t>(since, 1));
    while (s.step())
        out.push_back(readEntry(s).registry);
    return out;
}

// Why the place of `e` cannot be put back: it no longer holds what the transaction left
// there (undo) or what it found (redo). Empty when it can.
std::string Journal::conflictWith(const JournalEntry& e, registry::Registry& reg, bool undo) {
    bool changed = false;
    if (e.isFile) {
        const auto current = currentImage(e.file);
        const auto& left = undo ? e.file.after : e.file.before;
        auto merge =
            e.file.kind == FileChange::Kind::Content
                ? mergeKeyed(e.file.path, current, left, undo ? e.file.before : e.file.after)
                : KeyedMerge{};
        if (merge.keyed) {
            // Only the lines the transaction changed count.
            if (merge.conflict.empty()) return {};
            changed = true;
        } else {
            changed = current != left;
        }
        if (changed && merge.keyed)
            return changedSince(e, text::trf("%1 (%2)", describe(e), merge.conflict));
    } else if (e.registry.kind == RegistryChange::Kind::Value) {
        const auto current = reg.currentValue(e.registry);
        const auto& expected = undo ? e.registry.after : e.registry.before;
        // Of a sensitive value a digest is kept (journals of the second format: only
        // whether it existed).
        if (!e.registry.sensitive)
            changed = !sameValue(current, expected);
        else if (hasDigests_ &&
                 (expected.has_value() == (undo ? e.afterDigest : e.beforeDigest).has_value()))
            changed = !matchesDigest(current, undo ? e.afterDigest : e.beforeDigest);
        else
            changed = current.has_value() != expected.has_value();
    } else if (e.registry.sensitive) {
        // A subtree that held secret values is compared by its digest.
        changed =
            !matchesTreeDigest(reg.currentTree(e.registry), undo ? e.afterDigest : e.beforeDigest);
    } else {
        changed = canonicalTree(reg.currentTree(e.registry)) !=
                  canonicalTree(undo ? e.registry.afterTree : e.registry.beforeTree);
    }
    if (!changed) return {};
    std::string what = describe(e);
    return changedSince(e, what);
}

// That `what` changed since, naming the later transactions that touched the place of `e`.
std::string Journal::changedSince(const JournalEntry& e, const std::string& what) {
    std::vector<std::int64_t> later;
    Statement s(*db_, "SELECT c.txn, c.kind, c.hive_file, c.key_path, c.value_name FROM changes c "
                      "JOIN transactions t ON t.id=c.txn WHERE c.id>? AND t.state='done' "
                      "ORDER BY c.id");
    s.bind(1, e.id);
    while (s.step()) {
        std::int64_t txn = s.integer(0);
        std::string kind = s.text(1);
        bool touches = false;
        const bool fileRow = kind == "file" || kind == "folder" || kind == "attr";
        if (e.isFile)
            touches = kind == fileKindName(e.file.kind) && s.text(3) == e.file.path;
        else if (!fileRow && s.text(2) == e.registry.hiveFile) {
            std::string path = s.text(3);
            if (e.registry.kind == RegistryChange::Kind::Value)
                touches = kind == "key" ? underKey(e.registry.keyPath, path)
                                        : text::namesEqual(path, e.registry.keyPath) &&
                                              text::namesEqual(s.text(4), e.registry.valueName);
            else
                touches = underKey(path, e.registry.keyPath) || underKey(e.registry.keyPath, path);
        }
        if (touches && std::find(later.begin(), later.end(), txn) == later.end())
            later.push_back(txn);
    }
    if (later.empty()) return text::trf("%1: seitdem außerhalb des Journals geändert", what);
    std::string names;
    for (std::size_t i = 0; i < later.size(); ++i)
        names += (i ? ", " : "") + std::to_string(later[i]);
    if (later.size() == 1) return text::trf("%1: seitdem von Transaktion %2 geändert", what, names);
    return text::trf("%1: seitdem von den Transaktionen %2 geändert", what, names);
}

// What a file-side place gets from an undo (the image before) or a redo (the image
// after): a settings file only in the lines the transaction changed.
std::optional<std::string> Journal::fileTarget(const FileChange& f,
                                               const std::optional<std::string>& current,
                                               bool undo) const {
    const auto& target = undo ? f.before : f.after;
    if (f.kind != FileChange::Kind::Content) return target;
    auto merge = mergeKeyed(f.path, current, undo ? f.after : f.before, target);
    return merge.keyed ? merge.result : target;
}

std::int64_t Journal::replayOrRestore(std::int64_t txn, registry::Registry& reg, bool undo,
                                      bool force) {
    if (readOnly_) throw JournalError(text::tr("Die Maschine wurde nur zum Lesen geöffnet."));
    auto info = transaction(txn);
    if (!info)
        throw JournalError(
            text::trf("Die Transaktion %1 gibt es im Journal nicht.", std::to_string(txn)));
    std::vector<JournalEntry> list = entries(txn);
    if (list.empty())
        throw JournalError(
            text::trf("Die Transaktion %1 hat nichts geändert.", std::to_string(txn)));
    for (const auto& e : list) {
        if (e.isFile) {
            requireInside(e.file.path);
            if (fileWriteGuard_) fileWriteGuard_(e.file.path);
            continue;
        }
        if (!e.registry.sensitive) continue;
        if (e.registry.kind == RegistryChange::Kind::Key) {
            if (undo ? e.beforeHeldSecrets : e.afterHeldSecrets)
                throw JournalError(
                    undo ? text::trf("Die Transaktion %1 hat den Schlüssel %2 geändert, der "
                                     "vertrauliche Werte enthielt, deren Inhalt das Journal nicht "
                                     "aufbewahrt; sie kann nicht rückgängig gemacht werden.",
                                     std::to_string(txn), e.registry.fullName)
                         : text::trf("Die Transaktion %1 hat den Schlüssel %2 geändert, der "
                                     "vertrauliche Werte enthielt, deren Inhalt das Journal nicht "
                                     "aufbewahrt; sie kann nicht wiederholt werden.",
                                     std::to_string(txn), e.registry.fullName));
            continue;
        }
        bool needed = undo ? e.registry.before.has_value() : e.registry.after.has_value();
        if (needed)
            throw JournalError(
                undo ? text::trf("Die Transaktion %1 hat den vertraulichen Wert %2 \"%3\" "
                                 "geschrieben, dessen Inhalt das Journal nicht aufbewahrt; sie "
                                 "kann nicht rückgängig gemacht werden.",
                                 std::to_string(txn), e.registry.fullName, e.registry.valueName)
                     : text::trf("Die Transaktion %1 hat den vertraulichen Wert %2 \"%3\" "
                                 "geschrieben, dessen Inhalt das Journal nicht aufbewahrt; sie "
                                 "kann nicht wiederholt werden.",
                                 std::to_string(txn), e.registry.fullName, e.registry.valueName));
    }
    if (undo) std::reverse(list.begin(), list.end());
    // Each place is checked where the transaction touched it last (undo) or first (redo),
    // against what is there now; the transaction's own other rows follow from that one.
    // A registry row is checked as the rows before it are put back, so a key the
    // transaction made and then filled compares with what it left there.
    auto refusal = [&](const std::string& why) {
        return JournalError(
            undo ? text::trf("Die Transaktion %1 kann nicht rückgängig gemacht werden: %2 (machen "
                             "Sie zuerst die spätere Transaktion rückgängig oder erzwingen Sie es)",
                             std::to_string(txn), why)
                 : text::trf("Die Transaktion %1 kann nicht wiederholt werden: %2 (machen Sie "
                             "zuerst die spätere Transaktion rückgängig oder erzwingen Sie es)",
                             std::to_string(txn), why));
    };
    std::vector<std::string> seen;
    auto firstVisit = [&](const JournalEntry& e) {
        std::string place = placeOf(e);
        if (std::find(seen.begin(), seen.end(), place) != seen.end()) return false;
        seen.push_back(place);
        return true;
    };
    if (!force)
        for (const auto& e : list)
            if (e.isFile && firstVisit(e))
                if (auto why = conflictWith(e, reg, undo); !why.empty()) throw refusal(why);
    std::int64_t newTxn = 0;
    try {
        WriteTransaction t(*db_);
        newTxn = newTransaction(undo ? "undo" : "redo", info->label, txn);
        Statement s(*db_, "UPDATE transactions SET category=? WHERE id=?");
        s.bind(1, info->category).bind(2, newTxn).run();
        t.commit();
    } catch (const SqliteError& e) {
        throw JournalError(text::trf("Das Journal kann nicht geschrieben werden: %1", e.what()));
    }
    forcedTxn_ = newTxn;
    steps_.clear();
    holdSecrets_ = false;
    struct Reset {
        Journal& j;
        ~Reset() {
            j.forcedTxn_ = 0;
            j.steps_.clear();
            j.holdSecrets_ = false;
        }
    } reset{*this};
    try {
        for (const auto& e : list) {
            if (e.isFile) continue;
            if (!force && firstVisit(e))
                if (auto why = conflictWith(e, reg, undo); !why.empty()) throw refusal(why);
            reg.restore({e.registry}, undo);
        }
        for (const auto& e : list) {
            if (!e.isFile) continue;
            FileChange change = e.file;
            change.before = currentImage(e.file);
            change.after = fileTarget(e.file, change.before, undo);
            if (change.before == change.after) continue;
            // A folder it made that now holds what others put there stays, with their files.
            if (change.kind == FileChange::Kind::Folder && !change.after) {
                bool others = false;
                std::error_code ec;
                for (const auto& entry : std::filesystem::directory_iterator(change.path, ec))
                    others |=
                        entry.path().filename().string().find(".deskforge-") == std::string::npos;
                if (others) continue;
            }
            recordFile(change, [&] { putImage(change, change.after); });
        }
        // The files get it before its end is committed: an undo that cannot be saved is
        // not made.
        holdSecrets_ = false;
        reg.flush();
        WriteTransaction t(*db_);
        Statement s(*db_, "UPDATE transactions SET state='done' WHERE id=?");
        s.bind(1, newTxn).run();
        t.commit();
    } catch (const std::exception& e) {
        // Nothing of it stays: memory and files go back and its rows count for nothing.
        rollBackSteps(&reg);
        try {
            reg.flush();
            Statement d(*db_, "UPDATE transactions SET state='void' WHERE id=?");
            d.bind(1, newTxn).run();
        } catch (const std::exception&) {
            // Left open, the transaction is rolled back by the next writer's recovery.
        }
        if (dynamic_cast<const SqliteError*>(&e))
            throw JournalError(
                text::trf("Das Journal kann nicht geschrieben werden: %1", e.what()));
        throw;
    }
    lastTxn_ = newTxn;
    return newTxn;
}

std::int64_t Journal::undo(std::int64_t txn, registry::Registry& reg, bool force) {
    return replayOrRestore(txn, reg, true, force);
}
std::int64_t Journal::redo(std::int64_t txn, registry::Registry& reg, bool force) {
    return replayOrRestore(txn, reg, false, force);
}

} // namespace ravelin::journal
