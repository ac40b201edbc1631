#include "ui/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <charconv>
#include <string>

#include "datafiles/fileio.h"

namespace barwise {

namespace {

bool IsIniBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trimmed(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsIniBlank(s[b])) ++b;
    while (e > b && IsIniBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

QString Key(const QString& section, const QString& entry) {
    return section.isEmpty() ? entry : section + QLatin1Char('/') + entry;
}

}  // namespace

int ParseProfileInt(const QString& text, int defaultValue) {
    const std::string s = text.toStdString();
    std::size_t i = 0;
    while (i < s.size() && IsIniBlank(s[i])) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    int value = 0;
    const char* first = s.data() + i;
    const char* last = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr == first) return defaultValue;
    return value;
}

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

bool SettingsStore::OpenBaseKey(bool& createdNew, const QString& basePath) {
    m_baseKey = basePath;
    createdNew = false;
    const QByteArray file = qgetenv("BARWISE_SETTINGS");
    if (!file.isEmpty()) {
        m_settings =
            std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
    } else {
        m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                 QString::fromLatin1(kOrganisationName),
                                                 QString::fromLatin1(kApplicationName));
    }
    const QString name = m_settings->fileName();
    const QFileInfo info(name);
#ifdef _WIN32
    const bool inFile = m_settings->format() == QSettings::IniFormat;  // else the registry
#else
    const bool inFile = true;
#endif
    if (inFile) {
        if (!info.exists()) {
            // Create the store now, so that a later run knows it is not the first one.
            QDir().mkpath(info.absolutePath());
            QFile touch(name);
            if (!touch.open(QIODevice::WriteOnly)) {
                m_settings.reset();
                return false;
            }
            createdNew = true;
        }
    } else {
        createdNew = m_settings->allKeys().isEmpty();
    }
    return true;
}

QString SettingsStore::FileName() const {
    return m_settings ? m_settings->fileName() : QString();
}

QString SettingsStore::IniImportPath() {
    QString dir = QString::fromLocal8Bit(qgetenv("BARWISE_WINDIR"));
#ifdef _WIN32
    if (dir.isEmpty()) dir = QString::fromLocal8Bit(qgetenv("WINDIR"));
#endif
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const std::string name = std::string(kApplicationName) + ".INI";
    return QString::fromStdString(FindNoCase(dir.toStdString(), name).string());
}

void SettingsStore::ImportIniFile() {
    ImportIniFile(IniImportPath());
}

void SettingsStore::ImportIniFile(const QString& iniPath) {
    if (!m_settings) return;
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    file.close();

    // Lines are taken as a fixed-size line reader delivers them: a line longer than
    // kIniLinePiece characters comes in several pieces, each read as a line of its own.
    bool inSection = false;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = at;
        while (end < bytes.size() && end - at < kIniLinePiece && bytes[end] != '\n') ++end;
        if (end < bytes.size() && bytes[end] == '\n' && end - at < kIniLinePiece) ++end;
        std::string line =
            Trimmed(std::string(bytes.constData() + at, static_cast<std::size_t>(end - at)));
        at = end;
        const auto open = line.find('[');
        const auto close = line.find(']');
        if (open != std::string::npos && close != std::string::npos &&
            close - open + 1 == line.size()) {
            if (inSection) m_settings->endGroup();
            line[open] = ' ';
            line[close] = ' ';
            m_settings->beginGroup(QString::fromLatin1(Trimmed(line)));
            inSection = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || !inSection) continue;  // nothing to set it in
        const QString entry = QString::fromLatin1(line.substr(0, eq));
        if (entry.isEmpty()) continue;
        m_settings->setValue(entry, QString::fromLatin1(line.substr(eq + 1)));
    }
    if (inSection) m_settings->endGroup();
    m_settings->sync();
}

std::optional<QString> SettingsStore::Read(const QString& section, const QString& entry) const {
    if (!m_settings) return std::nullopt;
    const QVariant v = m_settings->value(Key(section, entry));
    if (!v.isValid()) return std::nullopt;
    // An unquoted text with commas comes back from an INI file as a list.
    const QString text = v.userType() == QMetaType::QStringList
                             ? v.toStringList().join(QLatin1Char(','))
                             : v.toString();
    if (text.toLocal8Bit().size() + 1 > kMaxValueBytes) return std::nullopt;
    return text;
}

bool SettingsStore::Write(const QString& section, const QString& entry, const QString& value) {
    if (!m_settings) return false;
    const QString key = Key(section, entry);
    // A value the store already holds is not written again.
    const QVariant old = m_settings->value(key);
    if (old.isValid() && old.userType() == QMetaType::QString && old.toString() == value)
        return m_settings->status() == QSettings::NoError;
    m_settings->setValue(key, value);
    m_unsynced = true;
    if (m_batchDepth > 0) return true;
    return Flush();
}

bool SettingsStore::Flush() {
    if (!m_settings) return false;
    if (m_unsynced) {
        m_settings->sync();
        m_unsynced = false;
        ++m_fileWrites;
    }
    return m_settings->status() == QSettings::NoError;
}

int SettingsStore::GetProfileInt(const QString& section, const QString& entry,
                                 int defaultValue) const {
    const auto text = Read(section, entry);
    return text ? ParseProfileInt(*text, defaultValue) : defaultValue;
}

bool SettingsStore::WriteProfileInt(const QString& section, const QString& entry, int value) {
    return Write(section, entry, QString::number(value));
}

QString SettingsStore::GetProfileString(const QString& section, const QString& entry,
                                        const QString& defaultValue) const {
    return Read(section, entry).value_or(defaultValue);
}

bool SettingsStore::WriteProfileString(const QString& section, const QString& entry,
                                       const QString& value) {
    return Write(section, entry, value);
}

}  // namespace barwise
