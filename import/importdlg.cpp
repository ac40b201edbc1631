#include "import/importdlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/commandview.h"
#include "ui/uihost.h"
#include "undo/undoable.h"

using namespace barwise;

namespace {

constexpr int kPreviewRows = 20;

struct DelimiterChoice {
    const char* label;
    char delimiter;
};
constexpr DelimiterChoice kDelimiters[] = {
    {"Detect", 0}, {"Comma", ','}, {"Semicolon", ';'}, {"Tab", '\t'}, {"Space", ' '},
};
constexpr DateForm kDateForms[] = {DateForm::kDetect, DateForm::kYyyymmdd, DateForm::kIso,
                                   DateForm::kMdy,    DateForm::kDmy,      DateForm::kDmyDot};
constexpr ImportColumn kColumnChoices[] = {
    ImportColumn::kSkip,  ImportColumn::kSymbol, ImportColumn::kName, ImportColumn::kDate,
    ImportColumn::kTime,  ImportColumn::kOpen,   ImportColumn::kHigh, ImportColumn::kLow,
    ImportColumn::kClose, ImportColumn::kVol,    ImportColumn::kOi,
};

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string Path(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

QString DelimiterText(char d) {
    for (const DelimiterChoice& c : kDelimiters)
        if (c.delimiter == d && d != 0) return QString::fromLatin1(c.label).toLower();
    return QStringLiteral("no");
}

}  // namespace

CImportDlg::CImportDlg(UiHost& host, std::string directory, std::optional<SecurityId> selected,
                       const QString& selectedLabel, QWidget* parent)
    : QDialog(parent),
      m_host(host),
      m_directory(std::move(directory)),
      m_selected(std::move(selected)) {
    setWindowTitle(tr("Import"));
    setObjectName(QStringLiteral("importDialog"));

    auto* filesBox = new QGroupBox(tr("Files"), this);
    m_files = new QListWidget(filesBox);
    m_files->setObjectName(QStringLiteral("importFiles"));
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* add = new QPushButton(tr("&Add Files..."), filesBox);
    add->setObjectName(QStringLiteral("addFiles"));
    m_remove = new QPushButton(tr("&Remove"), filesBox);
    m_remove->setObjectName(QStringLiteral("removeFile"));
    auto* fileButtons = new QVBoxLayout;
    fileButtons->addWidget(add);
    fileButtons->addWidget(m_remove);
    fileButtons->addStretch();
    auto* filesLayout = new QHBoxLayout(filesBox);
    filesLayout->addWidget(m_files, 1);
    filesLayout->addLayout(fileButtons);
    m_files->setMaximumHeight(90);

    auto* formatBox = new QGroupBox(tr("Format"), this);
    m_delimiter = new QComboBox(formatBox);
    m_delimiter->setObjectName(QStringLiteral("delimiter"));
    for (const DelimiterChoice& c : kDelimiters) m_delimiter->addItem(tr(c.label));
    m_dateForm = new QComboBox(formatBox);
    m_dateForm->setObjectName(QStringLiteral("dateForm"));
    for (DateForm f : kDateForms)
        m_dateForm->addItem(f == DateForm::kDetect ? tr("Detect")
                                                   : QString::fromLatin1(DateFormName(f).data()));
    m_checkHighLow = new QCheckBox(tr("A line whose &high is below its low is bad"), formatBox);
    m_checkHighLow->setObjectName(QStringLiteral("checkHighLow"));
    auto* formatLayout = new QGridLayout(formatBox);
    auto* delimLabel = new QLabel(tr("&Delimiter:"), formatBox);
    delimLabel->setBuddy(m_delimiter);
    auto* dateLabel = new QLabel(tr("Da&te form:"), formatBox);
    dateLabel->setBuddy(m_dateForm);
    formatLayout->addWidget(delimLabel, 0, 0);
    formatLayout->addWidget(m_delimiter, 0, 1);
    formatLayout->addWidget(dateLabel, 0, 2);
    formatLayout->addWidget(m_dateForm, 0, 3);
    formatLayout->addWidget(m_checkHighLow, 0, 4);
    formatLayout->setColumnStretch(5, 1);

    auto* previewBox =
        new QGroupBox(tr("Preview: the first rows of the chosen file as they are read"), this);
    m_preview = new QTableWidget(previewBox);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->verticalHeader()->setVisible(false);
    m_preview->setMinimumHeight(200);
    m_previewStatus = new QLabel(previewBox);
    m_previewStatus->setObjectName(QStringLiteral("previewStatus"));
    m_previewStatus->setWordWrap(true);
    auto* previewLayout = new QVBoxLayout(previewBox);
    auto* hint =
        new QLabel(tr("The first row sets the column of each field, for every file."), previewBox);
    previewLayout->addWidget(hint);
    previewLayout->addWidget(m_preview, 1);
    previewLayout->addWidget(m_previewStatus);

    auto* intoBox = new QGroupBox(tr("Into"), this);
    m_intoSelected = new QRadioButton(selectedLabel.isEmpty()
                                          ? tr("The selected security")
                                          : tr("The selected security, %1").arg(selectedLabel),
                                      intoBox);
    m_intoSelected->setObjectName(QStringLiteral("intoSelected"));
    m_intoNamed = new QRadioButton(
        tr("The securities the files name (their symbol column, else the file name)"), intoBox);
    m_intoNamed->setObjectName(QStringLiteral("intoNamed"));
    m_intoSelected->setEnabled(m_selected.has_value());
    (m_selected ? m_intoSelected : m_intoNamed)->setChecked(true);
    m_create = new QCheckBox(tr("&Create securities the portfolio lacks"), intoBox);
    m_create->setObjectName(QStringLiteral("create"));
    m_merge =
        new QRadioButton(tr("&Merge: quotes held with other values stay as they are"), intoBox);
    m_merge->setObjectName(QStringLiteral("merge"));
    m_replace = new QRadioButton(tr("Re&place quotes held with other values"), intoBox);
    m_replace->setObjectName(QStringLiteral("replace"));
    m_merge->setChecked(true);
    m_skipBad = new QCheckBox(
        tr("&Skip bad lines (otherwise nothing is written when a line is bad)"), intoBox);
    m_skipBad->setObjectName(QStringLiteral("skipBad"));
    auto* intoLayout = new QGridLayout(intoBox);
    // Two choices of one of two each.
    auto* target = new QButtonGroup(intoBox);
    target->addButton(m_intoSelected);
    target->addButton(m_intoNamed);
    auto* conflicts = new QButtonGroup(intoBox);
    conflicts->addButton(m_merge);
    conflicts->addButton(m_replace);
    // Checked once grouped: before, the four were one group of siblings.
    (m_selected ? m_intoSelected : m_intoNamed)->setChecked(true);
    m_merge->setChecked(true);
    intoLayout->addWidget(m_intoSelected, 0, 0);
    intoLayout->addWidget(m_intoNamed, 1, 0);
    intoLayout->addWidget(m_create, 2, 0);
    intoLayout->addWidget(m_merge, 0, 1);
    intoLayout->addWidget(m_replace, 1, 1);
    intoLayout->addWidget(m_skipBad, 2, 1);

    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setReadOnly(true);
    m_summary->setPlaceholderText(
        tr("Check says what an import would add, skip and find in conflict."));
    m_summary->setMinimumHeight(110);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setVisible(false);

    auto* buttons = new QDialogButtonBox(this);
    m_check = buttons->addButton(tr("C&heck"), QDialogButtonBox::ActionRole);
    m_check->setObjectName(QStringLiteral("check"));
    m_import = buttons->addButton(tr("&Import"), QDialogButtonBox::AcceptRole);
    m_import->setObjectName(QStringLiteral("import"));
    m_stop = buttons->addButton(tr("S&top"), QDialogButtonBox::ActionRole);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setEnabled(false);
    m_close = buttons->addButton(QDialogButtonBox::Close);
    m_close->setObjectName(QStringLiteral("close"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filesBox);
    layout->addWidget(formatBox);
    layout->addWidget(previewBox, 2);
    layout->addWidget(intoBox);
    layout->addWidget(m_summary, 1);
    layout->addWidget(m_progress);
    layout->addWidget(buttons);
    resize(860, 780);

    connect(add, &QPushButton::clicked, this, &CImportDlg::OnAddFiles);
    connect(m_remove, &QPushButton::clicked, this, &CImportDlg::OnRemoveFile);
    connect(m_files, &QListWidget::currentRowChanged, this, [this] { ShowPreview(); });
    connect(m_delimiter, &QComboBox::currentIndexChanged, this, &CImportDlg::OnFormatChanged);
    connect(m_dateForm, &QComboBox::currentIndexChanged, this, [this] { ShowPreview(); });
    connect(m_checkHighLow, &QCheckBox::toggled, this, [this] { ShowPreview(); });
    connect(m_check, &QPushButton::clicked, this, [this] { Run(true); });
    connect(m_import, &QPushButton::clicked, this, [this] { Run(false); });
    connect(m_stop, &QPushButton::clicked, this, [this] { m_stopAsked = true; });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(m_files, add);
    UpdateButtons();
    ShowPreview();
}

void CImportDlg::AddFiles(const QStringList& files) {
    for (const QString& f : files) {
        if (!m_files->findItems(f, Qt::MatchExactly).isEmpty()) continue;
        m_files->addItem(f);
    }
    if (m_files->currentRow() < 0 && m_files->count() > 0) m_files->setCurrentRow(0);
    UpdateButtons();
    ShowPreview();
}

TextFormat CImportDlg::Format() const {
    TextFormat f;
    f.delimiter = kDelimiters[std::max(0, m_delimiter->currentIndex())].delimiter;
    f.dateForm = kDateForms[std::max(0, m_dateForm->currentIndex())];
    f.checkHighLow = m_checkHighLow->isChecked();
    f.columns = m_columns;
    return f;
}

ImportOptions CImportDlg::Options() const {
    ImportOptions o;
    o.replace = m_replace->isChecked();
    o.create = m_create->isChecked();
    o.skipBad = m_skipBad->isChecked();
    if (m_intoSelected->isChecked() && m_selected) o.into = m_selected;
    return o;
}

void CImportDlg::OnAddFiles() {
    const QStringList files = m_host.openFileNames(
        tr("Import quotes"), tr("Text Files (*.txt *.csv *.prn *.asc);;All Files (*)"));
    AddFiles(files);
}

void CImportDlg::OnRemoveFile() {
    delete m_files->takeItem(m_files->currentRow());
    UpdateButtons();
    ShowPreview();
}

void CImportDlg::OnFormatChanged() {
    // Another delimiter splits the lines into other fields: the columns are found again.
    m_columns.clear();
    ShowPreview();
}

void CImportDlg::OnColumnChanged() {
    if (m_fillingPreview) return;
    m_columns.clear();
    for (int c = 0; c < m_preview->columnCount(); ++c) {
        auto* box = qobject_cast<QComboBox*>(m_preview->cellWidget(0, c));
        if (box) m_columns.push_back(kColumnChoices[std::max(0, box->currentIndex())]);
    }
    ShowPreview();
}

void CImportDlg::ShowPreview() {
    m_fillingPreview = true;
    m_preview->clear();
    m_preview->setRowCount(0);
    m_preview->setColumnCount(0);
    const QListWidgetItem* item = m_files->currentItem();
    if (!item) {
        m_previewStatus->setText(tr("Add the files to import."));
        m_fillingPreview = false;
        return;
    }
    const std::string path = Path(item->text());
    std::string text;
    {
        QFile file(item->text());
        if (!file.open(QIODevice::ReadOnly)) {
            m_previewStatus->setText(tr("%1 cannot be read.").arg(item->text()));
            m_fillingPreview = false;
            return;
        }
        // The preview reads the start of the file only.
        const QByteArray head = file.read(64 * 1024);
        text.assign(head.constData(), static_cast<std::size_t>(head.size()));
        if (!file.atEnd()) {
            const std::size_t cut = text.rfind('\n');
            if (cut != std::string::npos) text.resize(cut + 1);
        }
    }
    const TextFormat format = Format();
    const QuoteText read =
        ReadQuoteText(text, format, QFileInfo(item->text()).fileName().toStdString());
    const char delimiter = read.delimiter;
    const auto rows = PreviewRows(text, delimiter, kPreviewRows + 1);
    std::size_t fields = 0;
    for (const auto& r : rows) fields = std::max(fields, r.size());
    const std::vector<ImportColumn>& columns = read.columns;
    m_preview->setColumnCount(static_cast<int>(fields) + 1);
    m_preview->setRowCount(static_cast<int>(rows.size()) + 1);
    QStringList headers;
    for (std::size_t c = 0; c < fields; ++c) headers << tr("Field %1").arg(c + 1);
    headers << tr("Read as");
    m_preview->setHorizontalHeaderLabels(headers);
    for (std::size_t c = 0; c < fields; ++c) {
        auto* box = new QComboBox(m_preview);
        box->setObjectName(QStringLiteral("column%1").arg(c + 1));
        for (ImportColumn k : kColumnChoices)
            box->addItem(QString::fromLatin1(ImportColumnName(k).data()));
        const ImportColumn k = c < columns.size() ? columns[c] : ImportColumn::kSkip;
        box->setCurrentIndex(
            static_cast<int>(std::find(std::begin(kColumnChoices), std::end(kColumnChoices), k) -
                             std::begin(kColumnChoices)));
        connect(box, &QComboBox::currentIndexChanged, this, &CImportDlg::OnColumnChanged);
        m_preview->setCellWidget(0, static_cast<int>(c), box);
    }
    // Each row, and how it was read: the quote's date, or why it is bad.
    std::size_t quoteAt = 0, badAt = 0;
    int dataRow = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            m_preview->setItem(static_cast<int>(r) + 1, static_cast<int>(c),
                               new QTableWidgetItem(Text(rows[r][c])));
        QString verdict;
        if (r == 0 && read.titleRow) {
            verdict = tr("title row");
        } else if (read.refusal.empty()) {
            ++dataRow;
            // The data rows in order: each is a quote or a bad line.
            const int line = quoteAt < read.quotes.size() ? read.quotes[quoteAt].line : INT32_MAX;
            const int badLine = badAt < read.bad.size() ? read.bad[badAt].line : INT32_MAX;
            if (badLine < line) {
                verdict = tr("bad: %1").arg(Text(read.bad[badAt++].reason));
            } else if (quoteAt < read.quotes.size()) {
                const TextQuote& q = read.quotes[quoteAt++];
                verdict = Text(FormatDateMdy(q.date, true));
                if (q.hasTime) verdict += QLatin1Char(' ') + Text(FormatTime(q.time));
                if (q.symbol != 0) verdict = Text(read.symbolOf(q)) + QLatin1Char(' ') + verdict;
            }
        }
        auto* v = new QTableWidgetItem(verdict);
        if (verdict.startsWith(tr("bad"))) v->setForeground(Qt::red);
        m_preview->setItem(static_cast<int>(r) + 1, static_cast<int>(fields), v);
    }
    m_preview->resizeColumnsToContents();
    QString status;
    if (!read.refusal.empty()) {
        status = tr("This file cannot be imported as it stands: %1.").arg(Text(read.refusal));
    } else {
        status = tr("%1-delimited, %2, dates %3")
                     .arg(DelimiterText(delimiter),
                          read.titleRow ? tr("columns from the title row")
                          : read.columnsGuessed && format.columns.empty()
                              ? tr("columns from the first line")
                              : tr("columns as set"),
                          QString::fromLatin1(DateFormName(read.dateForm).data()));
        if (!read.bad.empty())
            status += tr("; %n bad line(s) among the first rows", nullptr,
                         static_cast<int>(read.bad.size()));
    }
    m_previewStatus->setText(status);
    m_fillingPreview = false;
}

bool CImportDlg::ReadAll(std::vector<QuoteText>& texts) {
    const TextFormat format = Format();
    m_progress->setRange(0, m_files->count());
    for (int i = 0; i < m_files->count(); ++i) {
        m_progress->setValue(i);
        m_progress->setFormat(tr("Reading %1").arg(QFileInfo(m_files->item(i)->text()).fileName()));
        QApplication::processEvents();
        if (m_stopAsked) return false;
        texts.push_back(ReadQuoteFile(Path(m_files->item(i)->text()), format));
    }
    return true;
}

void CImportDlg::SetBusy(bool busy) {
    m_busy = busy;
    m_stopAsked = false;
    m_progress->setVisible(busy);
    m_stop->setEnabled(busy);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_files, m_remove, m_delimiter, m_dateForm, m_checkHighLow, m_preview, m_intoSelected,
             m_intoNamed, m_merge, m_replace, m_create, m_skipBad, m_check, m_import, m_close})
        w->setEnabled(!busy);
    if (!busy) {
        m_intoSelected->setEnabled(m_selected.has_value());
        UpdateButtons();
    }
}

void CImportDlg::UpdateButtons() {
    const bool files = m_files->count() > 0;
    m_remove->setEnabled(!m_busy && m_files->currentRow() >= 0);
    m_check->setEnabled(!m_busy && files);
    m_import->setEnabled(!m_busy && files);
}

void CImportDlg::Run(bool dryRun) {
    if (m_busy || m_files->count() == 0) return;
    SetBusy(true);
    std::vector<QuoteText> texts;
    ImportOptions options = Options();
    options.dryRun = dryRun;
    if (!ReadAll(texts)) {
        SetBusy(false);
        m_summary->setPlainText(tr("Stopped while reading the files; nothing was written."));
        return;
    }
    m_progress->setFormat(dryRun ? tr("Checking %v of %m") : tr("Writing %v of %m"));
    const ImportProgress progress = [this](int done, int total) {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(done);
        QApplication::processEvents();
        return !m_stopAsked;
    };
    {
        WaitCursor wait(m_host);
        UndoableChange change(m_directory);
        m_report = ImportQuotes(m_directory, texts, options, change.fs(), progress);
        if (const DataStatus kept = change.commit(ImportLabel(texts)); kept != kSuccess)
            m_host.messageBox(QString::fromStdString(NotUndoableMessage(kept)), UiHost::Buttons::Ok,
                              UiHost::Icon::Warning);
    }
    m_written = m_written || m_report.written;
    SetBusy(false);
    QString head;
    if (!m_report.failure.empty()) {
        head = dryRun ? tr("The import would not go ahead.") : tr("Nothing was written.");
    } else if (dryRun) {
        head = tr("Check: %1 quotes to add, %2 already held, %3 in conflict%4.")
                   .arg(m_report.added())
                   .arg(m_report.skipped())
                   .arg(m_report.conflicts())
                   .arg(options.replace ? tr(" (to be replaced)") : tr(" (kept as held)"));
    } else {
        head = tr("Imported: %1 quotes added, %2 already held, %3 in conflict, %4 replaced.")
                   .arg(m_report.added())
                   .arg(m_report.skipped())
                   .arg(m_report.conflicts())
                   .arg(m_report.replaced());
    }
    m_summary->setPlainText(head + QLatin1Char('\n') + Text(ImportSummaryText(m_report, dryRun)));
    if (!dryRun && m_report.failure.empty()) m_host.beep(UiHost::Beep::Asterisk);
}

void OnImport(CommandView& view, UiHost& host) {
    const std::string dir = view.PortfolioDir();
    if (dir.empty()) return;
    const auto security = view.SelectedSecurity();
    std::optional<SecurityId> selected;
    QString label;
    if (security) {
        selected = security->id;
        label = QString::fromLatin1(security->symbol.data(),
                                    static_cast<qsizetype>(security->symbol.size()));
    }
    CImportDlg dlg(host, dir, selected, label, view.DialogParent());
    host.runDialog(dlg);
    if (dlg.Written()) view.RefillSymbols(std::max(view.SelectedSymbolRow(), 0));
}
