// The first-run import of an old Barwise.INI into a new settings store, on fuzzed INI text;
// afterwards the values the program reads back stay within the store's value limit.
//
// Input: [INI file: all bytes]
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "ui/settingsstore.h"

namespace {

// The first "[section]" and the first "entry=" of the text, so the read-back also looks at
// what the input itself names.
void FirstNames(const std::string& text, std::string& section, std::string& entry) {
    const auto open = text.find('[');
    const auto close = text.find(']', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos)
        section = text.substr(open + 1, close - open - 1);
    const auto eq = text.find('=', close == std::string::npos ? 0 : close);
    if (eq != std::string::npos) {
        auto start = text.rfind('\n', eq);
        start = start == std::string::npos ? 0 : start + 1;
        entry = text.substr(start, eq - start);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    static const std::string settings = [] {
        const std::string path = fuzz::ScratchDir() + "settings.conf";
        setenv("BARWISE_SETTINGS", path.c_str(), 1);
        return path;
    }();
    const std::string ini = fuzz::ScratchDir() + "Barwise.INI";
    fuzz::RemoveFile(settings);
    fuzz::WriteBytes(ini, data, size);

    SettingsStore store;
    bool createdNew = false;
    BARWISE_FUZZ_CHECK(store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)));
    BARWISE_FUZZ_CHECK(createdNew);
    store.ImportIniFile(QString::fromStdString(ini));

    std::string section = "Settings", entry = "Drive";
    FirstNames(std::string(reinterpret_cast<const char*>(data), size), section, entry);
    const QString s = QString::fromLatin1(section), e = QString::fromLatin1(entry);
    for (const auto& [sec, ent] :
         {std::pair{s, e}, std::pair{QString("Settings"), QString("Drive")},
          std::pair{QString("Export"), QString("Delimiter")}}) {
        const QString absent = QStringLiteral("<absent>");
        const QString value = store.GetProfileString(sec, ent, absent);
        if (value != absent) {
            BARWISE_FUZZ_CHECK(value.toLocal8Bit().size() + 1 <= SettingsStore::kMaxValueBytes);
        }
        (void)store.GetProfileInt(sec, ent, -7);
    }
    return 0;
}
