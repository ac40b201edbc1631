// Texts of the quote files shown in Qt and taken back: the files hold Latin-1.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace barwise {

inline QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond Latin-1 become '?'.
inline std::string ToLatin1(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace barwise
