#include "undo/history.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

#include "datafiles/portfoliolock.h"

namespace barwise {

namespace {

constexpr std::string_view kMagic = "BWUNDO1";
constexpr std::string_view kUndoExt = ".undo";
constexpr std::string_view kRedoExt = ".redo";
constexpr std::string_view kLimitsFile = "limits.ini";
constexpr std::string_view kLevelsKey = "Undo levels";
constexpr std::string_view kSizeKey = "Undo history size (MB)";
// Ends as every temporary of a rewrite does, so a check lists one a kill left as a leftover.
constexpr std::string_view kTempSuffix = ".UNDO.NEW";

fs::path FromEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? fs::path(v) : fs::path();
}

// The folder name of a portfolio's history: FNV-1a of its resolved path, in hex.
std::string FolderName(const std::string& key) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

std::string PathText(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

fs::path PathOfText(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool ParseWhole(std::string_view text, std::uint64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// A file's content now; nothing when it is absent; `other` when it is there but is no
// regular file or cannot be read.
struct Present {
    bool exists = false;
    bool readable = true;
    std::vector<std::uint8_t> bytes;
};
Present ReadPresent(const fs::path& path) {
    Present p;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec || !fs::exists(st)) return p;
    p.exists = true;
    if (!fs::is_regular_file(st)) {
        p.readable = false;
        return p;
    }
    auto bytes = ReadWholeFile(path);
    if (bytes)
        p.bytes = std::move(*bytes);
    else
        p.readable = false;
    return p;
}

bool Matches(const Present& now, bool exists, const std::vector<std::uint8_t>& bytes) {
    if (!now.readable) return false;
    if (now.exists != exists) return false;
    return !exists || now.bytes == bytes;
}

struct Listed {
    std::uint64_t number = 0;
    bool undone = false;
    fs::path file;
};

std::vector<Listed> ListFolder(const fs::path& folder) {
    std::vector<Listed> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string ext = p.extension().string();
        if (ext != kUndoExt && ext != kRedoExt) continue;
        Listed l;
        if (!ParseWhole(p.stem().string(), l.number)) continue;
        l.undone = ext == kRedoExt;
        l.file = p;
        out.push_back(std::move(l));
    }
    std::sort(out.begin(), out.end(),
              [](const Listed& a, const Listed& b) { return a.number < b.number; });
    return out;
}

std::string NumberedName(std::uint64_t number, std::string_view ext) {
    char out[32];
    std::snprintf(out, sizeof out, "%010llu", static_cast<unsigned long long>(number));
    return std::string(out) + std::string(ext);
}

// The label, time and count lines of a stored change, read without its bytes.
bool ReadHeader(std::istream& in, std::string& label, std::int64_t& time, std::uint64_t& count) {
    std::string line;
    if (!std::getline(in, line) || line != kMagic) return false;
    if (!std::getline(in, label)) return false;
    std::uint64_t t = 0;
    if (!std::getline(in, line) || !ParseWhole(line, t)) return false;
    time = static_cast<std::int64_t>(t);
    return std::getline(in, line) && ParseWhole(line, count);
}

char KindLetter(FileChange::Kind k) {
    switch (k) {
        case FileChange::Kind::kCreated:
            return 'C';
        case FileChange::Kind::kReplaced:
            return 'R';
        case FileChange::Kind::kRemoved:
            return 'D';
    }
    return 'R';
}

std::vector<std::uint8_t> Encode(std::string_view label, std::int64_t time,
                                 const ChangeList& changes) {
    std::string head(kMagic);
    head += '\n';
    for (const char c : label) head += c == '\n' ? ' ' : c;
    head += '\n' + std::to_string(time) + '\n' + std::to_string(changes.size()) + '\n';
    for (const FileChange& c : changes) {
        const std::string path = PathText(c.path);
        head += KindLetter(c.kind);
        head += ' ' + std::to_string(c.before.size()) + ' ' + std::to_string(c.after.size()) + ' ' +
                std::to_string(path.size()) + ' ' + path + '\n';
    }
    std::vector<std::uint8_t> out(head.begin(), head.end());
    for (const FileChange& c : changes) {
        out.insert(out.end(), c.before.begin(), c.before.end());
        out.insert(out.end(), c.after.begin(), c.after.end());
    }
    return out;
}

// The directories whose writer locks an undo of `changes` takes, the history's own first.
std::vector<std::string> LockedDirectories(const std::string& own, const ChangeList& changes) {
    std::vector<std::string> keys{PortfolioLockKey(own)};
    for (const FileChange& c : changes) {
        std::string k = PortfolioLockKey(c.path.parent_path().string());
        if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(std::move(k));
    }
    return keys;
}

}  // namespace

fs::path HistoryRoot() {
    if (fs::path p = FromEnv("BARWISE_HISTORY_DIR"); !p.empty()) return p;
#ifdef _WIN32
    fs::path base = FromEnv("LOCALAPPDATA");
    if (base.empty()) base = FromEnv("APPDATA");
#else
    fs::path base = FromEnv("XDG_DATA_HOME");
    if (base.empty()) {
        const fs::path home = FromEnv("HOME");
        base = home.empty() ? fs::temp_directory_path() : home / ".local" / "share";
    }
#endif
    return base / "Kestrelwick Software" / "Barwise" / "history";
}

HistoryLimits ReadHistoryLimits(const fs::path& root) {
    HistoryLimits limits;
    std::ifstream in(root / kLimitsFile);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string_view key = std::string_view(line).substr(0, eq);
        std::uint64_t v = 0;
        if (!ParseWhole(std::string_view(line).substr(eq + 1), v) || v == 0) continue;
        if (key == kLevelsKey && v <= kMaxUndoLevels) limits.levels = static_cast<int>(v);
        if (key == kSizeKey && v <= kMaxUndoMegabytes) limits.megabytes = static_cast<int>(v);
    }
    return limits;
}

DataStatus WriteHistoryLimits(const HistoryLimits& limits, const fs::path& root) {
    if (limits.levels < 1 || limits.levels > kMaxUndoLevels || limits.megabytes < 1 ||
        limits.megabytes > kMaxUndoMegabytes)
        return kInvalidParm;
    std::error_code ec;
    fs::create_directories(root, ec);
    const std::string text = "[Undo]\n" + std::string(kLevelsKey) + "=" +
                             std::to_string(limits.levels) + "\n" + std::string(kSizeKey) + "=" +
                             std::to_string(limits.megabytes) + "\n";
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return WriteFileChecked(RealFileSystem(), root / kLimitsFile, bytes);
}

std::string UndoOutcome::message(bool redo) const {
    const std::string verb = redo ? "redo" : "undo";
    const std::string what = "Cannot " + verb + " " + label + ": ";
    switch (end) {
        case End::kDone:
            return {};
        case End::kNothing:
            return "There is nothing to " + verb + ".";
        case End::kRefused:
            return what + PathText(file) +
                   " was changed since, by another program or by a change that was not " +
                   (redo ? "redone" : "undone") + " first.\nNothing was written.";
        case End::kBusy:
            return what + std::string(kPortfolioBusyMessage) + ".\nNothing was written.";
        case End::kFailed:
            return what + PathText(file) + ": " + std::string(DataStatusName(status)) +
                   ".\nNothing was changed.";
        case End::kIncomplete:
            return (redo ? "Redo of " : "Undo of ") + label +
                   " stopped part way: " + PathText(file) + ": " +
                   std::string(DataStatusName(status)) + ".\nEvery file is whole; " + verb +
                   " again to finish it.";
    }
    return {};
}

std::optional<StoredChange> ReadStoredChange(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    StoredChange out;
    std::uint64_t count = 0;
    if (!ReadHeader(in, out.label, out.time, count)) return std::nullopt;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || count > size) return std::nullopt;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> sizes;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string line;
        if (!std::getline(in, line) || line.size() < 2 || line[1] != ' ') return std::nullopt;
        FileChange c;
        switch (line[0]) {
            case 'C':
                c.kind = FileChange::Kind::kCreated;
                break;
            case 'R':
                c.kind = FileChange::Kind::kReplaced;
                break;
            case 'D':
                c.kind = FileChange::Kind::kRemoved;
                break;
            default:
                return std::nullopt;
        }
        std::uint64_t n[3] = {};
        std::size_t at = 2;
        for (std::uint64_t& v : n) {
            const auto sp = line.find(' ', at);
            if (sp == std::string::npos ||
                !ParseWhole(std::string_view(line).substr(at, sp - at), v))
                return std::nullopt;
            at = sp + 1;
        }
        if (line.size() - at != n[2] || n[0] > size || n[1] > size) return std::nullopt;
        c.path = PathOfText(std::string_view(line).substr(at));
        sizes.emplace_back(n[0], n[1]);
        total += n[0] + n[1];
        out.changes.push_back(std::move(c));
    }
    const auto start = static_cast<std::uintmax_t>(in.tellg());
    if (!in || start + total != size) return std::nullopt;
    for (std::size_t i = 0; i < out.changes.size(); ++i) {
        FileChange& c = out.changes[i];
        c.before.resize(sizes[i].first);
        c.after.resize(sizes[i].second);
        in.read(reinterpret_cast<char*>(c.before.data()),
                static_cast<std::streamsize>(c.before.size()));
        in.read(reinterpret_cast<char*>(c.after.data()),
                static_cast<std::streamsize>(c.after.size()));
    }
    if (!in) return std::nullopt;
    return out;
}

UndoOutcome PutFilesBack(const ChangeList& changes, bool toAfter, FileSystem& fsys) {
    struct Step {
        const FileChange* change;
        bool present;  // the file is to hold `bytes`; else it is to be removed
        const std::vector<std::uint8_t>* bytes;
        fs::path temp;
    };
    UndoOutcome out;
    std::vector<Step> steps;
    // Decide first: a file in neither state refuses the whole.
    auto order = [&](auto&& visit) {
        if (toAfter)
            for (const FileChange& c : changes) visit(c);
        else
            for (auto it = changes.rbegin(); it != changes.rend(); ++it) visit(*it);
    };
    bool refused = false;
    order([&](const FileChange& c) {
        if (refused) return;
        const bool existsBefore = c.kind != FileChange::Kind::kCreated;
        const bool existsAfter = c.kind != FileChange::Kind::kRemoved;
        const bool targetExists = toAfter ? existsAfter : existsBefore;
        const auto& target = toAfter ? c.after : c.before;
        const auto& source = toAfter ? c.before : c.after;
        const Present now = ReadPresent(c.path);
        if (Matches(now, targetExists, target)) return;  // already so (an earlier run got here)
        if (!Matches(now, toAfter ? existsBefore : existsAfter, source)) {
            refused = true;
            out.file = c.path;
            return;
        }
        steps.push_back({&c, targetExists, &target, {}});
    });
    if (refused) {
        out.end = UndoOutcome::End::kRefused;
        return out;
    }

    auto dropTemps = [&] {
        for (const Step& s : steps)
            if (!s.temp.empty()) (void)fsys.remove(s.temp);
    };
    // Every new content complete and synced beside its file.
    for (Step& s : steps) {
        if (!s.present) continue;
        fs::path temp = s.change->path;
        temp += kTempSuffix;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(temp, ec)))
            (void)fsys.remove(temp);  // left by a killed run
        const auto file = fsys.create(temp);
        bool ok = file != nullptr;
        if (ok) s.temp = temp;
        ok = ok && (s.bytes->empty() || file->write(s.bytes->data(), s.bytes->size()));
        ok = ok && file->sync();
        ok = file && file->close() && ok;
        if (ok && fs::exists(fs::symlink_status(s.change->path, ec)))
            (void)fsys.copyAttributes(s.change->path, temp);
        if (!ok) {
            dropTemps();
            out.end = UndoOutcome::End::kFailed;
            out.status = kFileWrite;
            out.file = s.change->path;
            return out;
        }
    }
    // Then each in place.
    std::vector<fs::path> directories;
    bool anyDone = false;
    for (Step& s : steps) {
        const bool ok =
            s.present ? fsys.replace(s.temp, s.change->path) : fsys.remove(s.change->path);
        if (!ok) {
            dropTemps();
            out.end = anyDone ? UndoOutcome::End::kIncomplete : UndoOutcome::End::kFailed;
            out.status = kFileWrite;
            out.file = s.change->path;
            break;
        }
        s.temp.clear();
        anyDone = true;
        const fs::path dir = s.change->path.parent_path();
        if (std::find(directories.begin(), directories.end(), dir) == directories.end())
            directories.push_back(dir);
    }
    for (const fs::path& d : directories) (void)fsys.syncDirectory(d);
    if (out.file.empty()) out.end = UndoOutcome::End::kDone;
    return out;
}

UndoHistory::UndoHistory(std::string_view directory, fs::path root)
    : directory_(directory),
      root_(std::move(root)),
      folder_(root_ / FolderName(PortfolioLockKey(directory))) {}

// A listed change with its header read; nothing when the file is not a whole change.
static std::optional<HistoryEntry> EntryOf(const Listed& l) {
    std::ifstream in(l.file, std::ios::binary);
    HistoryEntry e;
    std::uint64_t count = 0;
    if (!ReadHeader(in, e.label, e.time, count)) return std::nullopt;
    e.number = l.number;
    e.undone = l.undone;
    e.file = l.file;
    std::error_code ec;
    e.bytes = fs::file_size(l.file, ec);
    return e;
}

std::vector<HistoryEntry> UndoHistory::entries() const {
    std::vector<HistoryEntry> out;
    for (const Listed& l : ListFolder(folder_))
        if (auto e = EntryOf(l)) out.push_back(std::move(*e));
    return out;
}

// The menus ask for these on every change of the window's state: the folder is listed and
// only the header of the change found is read.
std::optional<HistoryEntry> UndoHistory::nextUndo() const {
    const std::vector<Listed> all = ListFolder(folder_);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (!it->undone)
            if (auto e = EntryOf(*it)) return e;
    return std::nullopt;
}

std::optional<HistoryEntry> UndoHistory::nextRedo() const {
    for (const Listed& l : ListFolder(folder_))
        if (l.undone)
            if (auto e = EntryOf(l)) return e;
    return std::nullopt;
}

DataStatus UndoHistory::record(std::string_view label, const ChangeList& changes,
                               FileSystem& fsys) {
    if (changes.empty()) return kSuccess;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return kFileWrite;
    // The portfolio the folder belongs to, for whoever looks into the history by hand.
    const fs::path named = folder_ / "portfolio.txt";
    if (!fs::exists(named, ec)) {
        const std::string text = PortfolioLockKey(directory_) + "\n";
        (void)WriteFileChecked(fsys, named, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::uint64_t next = 1;
    for (const Listed& l : ListFolder(folder_)) {
        next = std::max(next, l.number + 1);
        if (l.undone && !fsys.remove(l.file))
            return kFileWrite;  // a new change ends what could be redone
    }
    const std::vector<std::uint8_t> bytes =
        Encode(label, static_cast<std::int64_t>(std::time(nullptr)), changes);
    const DataStatus s = WriteFileChecked(fsys, folder_ / NumberedName(next, kUndoExt), bytes);
    if (s != kSuccess) return s;
    prune(ReadHistoryLimits(root_), fsys);
    return kSuccess;
}

void UndoHistory::prune(const HistoryLimits& limits, FileSystem& fsys) {
    std::vector<HistoryEntry> all = entries();
    std::uintmax_t total = 0;
    for (const HistoryEntry& e : all) total += e.bytes;
    const std::uintmax_t cap = static_cast<std::uintmax_t>(limits.megabytes) << 20;
    std::size_t first = 0;
    while (all.size() - first > 1 &&
           (all.size() - first > static_cast<std::size_t>(limits.levels) || total > cap)) {
        if (!fsys.remove(all[first].file)) break;
        total -= all[first].bytes;
        ++first;
    }
}

UndoOutcome UndoHistory::undo(FileSystem& fsys) {
    return apply(false, fsys);
}
UndoOutcome UndoHistory::redo(FileSystem& fsys) {
    return apply(true, fsys);
}

UndoOutcome UndoHistory::apply(bool redo, FileSystem& fsys) {
    UndoOutcome out;
    // The change is chosen and read under the lock of its portfolio; when it also touched
    // another portfolio (a move), both are locked and the choice made again under them.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<std::string> keys{PortfolioLockKey(directory_)};
        std::optional<StoredChange> stored;
        std::optional<HistoryEntry> entry;
        {
            const PortfolioLock lock(directory_);
            if (!lock.held()) {
                out.end = UndoOutcome::End::kBusy;
                out.status = kPortfolioBusy;
                return out;
            }
            entry = redo ? nextRedo() : nextUndo();
            if (!entry) return out;  // kNothing
            out.label = entry->label;
            stored = ReadStoredChange(entry->file);
            if (!stored) {
                out.end = UndoOutcome::End::kFailed;
                out.status = kFileRead;
                out.file = entry->file;
                return out;
            }
            keys = LockedDirectories(directory_, stored->changes);
        }
        const PortfolioLock lock(keys[0], keys.size() > 1 ? keys[1] : keys[0]);
        if (!lock.held()) {
            out.end = UndoOutcome::End::kBusy;
            out.status = kPortfolioBusy;
            return out;
        }
        const auto again = redo ? nextRedo() : nextUndo();
        if (!again || again->number != entry->number) continue;  // another writer got there first
        out = PutFilesBack(stored->changes, redo, fsys);
        out.label = entry->label;
        if (out.end != UndoOutcome::End::kDone) return out;
        fs::path moved = entry->file;
        moved.replace_extension(redo ? kUndoExt : kRedoExt);
        if (!fsys.replace(entry->file, moved) || !fsys.syncDirectory(folder_)) {
            // Every file is put back, but the history still offers the change: a second
            // try finds each file already so and only moves the entry.
            out.end = UndoOutcome::End::kIncomplete;
            out.status = kFileWrite;
            out.file = entry->file;
        }
        return out;
    }
    out.end = UndoOutcome::End::kBusy;
    out.status = kPortfolioBusy;
    return out;
}

}  // namespace barwise
