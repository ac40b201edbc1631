// The program's persistent settings: text values addressed by section and entry.
//
// Kept with QSettings: the file given by BARWISE_SETTINGS when that is set, otherwise the
// user's native store for "Kestrelwick Software" / "Barwise" (~/.config/Kestrelwick
// Software/Barwise.conf, or the registry on Windows). Integers are stored as decimal text.
// A missing value, or one of kMaxValueBytes bytes or more, gives the caller's default;
// writes go through at once and a failed write only returns false.
#pragma once

#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace barwise {

class SettingsStore {
public:
    // Values this long or longer (in bytes, with the terminator) are treated as absent.
    static constexpr int kMaxValueBytes = 260;
    // INI lines are read in pieces of at most this many characters.
    static constexpr int kIniLinePiece = 519;

    SettingsStore();
    virtual ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Opens the store (creating it when missing). `createdNew` tells whether it did not
    // exist before. basePath is kept as m_baseKey for the record.
    bool OpenBaseKey(bool& createdNew, const QString& basePath);
    // Imports the INI file of an older installation into the freshly created store.
    void ImportIniFile();
    void ImportIniFile(const QString& iniPath);

    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
    bool WriteProfileInt(const QString& section, const QString& entry, int value);
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);

    // While a Batch lives, writes are kept in memory and reach the file once, when the
    // outermost Batch ends: each write to the file is a locked, synced replacement of the
    // whole file, which a slow disk takes tens of milliseconds for.
    class Batch {
    public:
        explicit Batch(SettingsStore& store) : m_store(store) { ++m_store.m_batchDepth; }
        ~Batch() {
            if (--m_store.m_batchDepth == 0) m_store.Flush();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& m_store;
    };
    // How many times the settings were written to their file.
    int FileWrites() const { return m_fileWrites; }

    // The file the settings live in (empty when they are not in a file).
    QString FileName() const;
    bool IsOpen() const { return m_settings != nullptr; }

    // Where the INI import looks: Barwise.INI in any letter case in the directory named by
    // BARWISE_WINDIR, else the user's configuration directory (the Windows directory on
    // Windows).
    static QString IniImportPath();

private:
    std::optional<QString> Read(const QString& section, const QString& entry) const;
    bool Write(const QString& section, const QString& entry, const QString& value);
    bool Flush();

    QString m_baseKey;
    std::unique_ptr<QSettings> m_settings;
    int m_batchDepth = 0;
    bool m_unsynced = false;
    int m_fileWrites = 0;
};

// "%d" reading: leading blanks, an optional sign and digits; anything else (or a number
// out of range) keeps the default.
int ParseProfileInt(const QString& text, int defaultValue);

inline constexpr char kOrganisationName[] = "Kestrelwick Software";
inline constexpr char kApplicationName[] = "Barwise";
inline constexpr char kBaseKeyPath[] = "Software\\Kestrelwick Software\\Barwise";

}  // namespace barwise
