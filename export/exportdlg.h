// The Export dialog and the Quotes > Export command: the user picks the file, the columns
// to leave out, the delimiter, the order, a title row, the date form, the time column (for
// intraday series) and full precision; the choices are kept in the settings section
// "XportSel" after each export that succeeded.
#pragma once

#include <QDialog>
#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

namespace barwise {
class CommandView;
class SettingsStore;
class UiHost;
}  // namespace barwise

// The dialog's values, as the settings keep them.
struct ExportChoices {
    QString file = QStringLiteral("output.txt");  // "Starter"
    int delimiter = 0;                            // "Delim": 0 space, 1 comma, 2 tab
    std::array<bool, 6> omit{};                   // "OmitOpen" .. "OmitOI"
    int newest = 0;                               // "Newest": 1 newest quote first
    bool title = false;                           // "Title"
    int dateFormat = 0;                           // "DateFormat": 0 MM/DD/YY, 1 YYYY-MM-DD
    bool time = false;                            // "Time"
    bool precision = false;                       // "Precision"

    static ExportChoices Load(const barwise::SettingsStore& settings);
    void Save(barwise::SettingsStore& settings) const;
};

class CExportDlg : public QDialog {
    Q_OBJECT
public:
    // hasTime: the series has a TIME column (the "Include time" box is offered only then).
    CExportDlg(barwise::UiHost& host, const ExportChoices& choices, bool hasTime,
               QWidget* parent = nullptr);
    ExportChoices choices() const;

private:
    void OnBrowse();

    barwise::UiHost& m_host;
    QLineEdit* m_file = nullptr;
    QButtonGroup* m_delimiter = nullptr;
    std::array<QCheckBox*, 6> m_omit{};
    QButtonGroup* m_order = nullptr;
    QCheckBox* m_title = nullptr;
    QComboBox* m_dateFormat = nullptr;
    QCheckBox* m_time = nullptr;
    QCheckBox* m_precision = nullptr;
};

// Quotes > Export for the security selected in the view.
void OnExport(barwise::CommandView& view, barwise::UiHost& host, barwise::SettingsStore& settings);
