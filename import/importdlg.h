// The Import dialog and the Quotes > Import command: the user picks text files of quotes,
// sees the first rows of the file chosen as they are read (the column of each field, which
// can be changed, and each row's date and values or why the row is bad), picks the
// delimiter and date form where they cannot be told, whether quotes go into the selected
// security or the securities the files name, merge or replace, and whether securities the
// portfolio lacks are made. Check says per security what would be added, skipped and in
// conflict; Import writes, with progress and Stop over many files, and then shows what was
// written and what was not, with line numbers.
#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "datafiles/master.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace barwise {
class CommandView;
class UiHost;
}  // namespace barwise

class CImportDlg : public QDialog {
    Q_OBJECT
public:
    // directory: the portfolio imported into; selected: the security selected in the view
    // (with its label), when there is one.
    CImportDlg(barwise::UiHost& host, std::string directory,
               std::optional<barwise::SecurityId> selected, const QString& selectedLabel,
               QWidget* parent = nullptr);

    void AddFiles(const QStringList& files);
    // The text format the controls give.
    barwise::TextFormat Format() const;
    barwise::ImportOptions Options() const;
    // Whether an import wrote anything.
    bool Written() const { return m_written; }
    const barwise::ImportReport& LastReport() const { return m_report; }

private:
    void OnAddFiles();
    void OnRemoveFile();
    void OnFormatChanged();
    void OnColumnChanged();
    void ShowPreview();
    void Run(bool dryRun);
    // Reads every file with the format; false when stopped.
    bool ReadAll(std::vector<barwise::QuoteText>& texts);
    void SetBusy(bool busy);
    void UpdateButtons();

    barwise::UiHost& m_host;
    std::string m_directory;
    std::optional<barwise::SecurityId> m_selected;
    QListWidget* m_files = nullptr;
    QPushButton* m_remove = nullptr;
    QComboBox* m_delimiter = nullptr;
    QComboBox* m_dateForm = nullptr;
    QCheckBox* m_checkHighLow = nullptr;
    QTableWidget* m_preview = nullptr;
    QLabel* m_previewStatus = nullptr;
    QRadioButton* m_intoSelected = nullptr;
    QRadioButton* m_intoNamed = nullptr;
    QRadioButton* m_merge = nullptr;
    QRadioButton* m_replace = nullptr;
    QCheckBox* m_create = nullptr;
    QCheckBox* m_skipBad = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_close = nullptr;
    // The columns as the user set them (empty: from the file).
    std::vector<barwise::ImportColumn> m_columns;
    bool m_fillingPreview = false;
    bool m_busy = false;
    bool m_stopAsked = false;
    bool m_written = false;
    barwise::ImportReport m_report;
};

// Quotes > Import into the portfolio shown (and, by choice, the selected security); the
// view is filled again when anything was written.
void OnImport(barwise::CommandView& view, barwise::UiHost& host);
