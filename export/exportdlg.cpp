#include "export/exportdlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "datafiles/series.h"
#include "export/exportwriter.h"
#include "export/outputfile.h"
#include "ui/commandview.h"
#include "ui/latin1.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

const QString kSection = QStringLiteral("XportSel");
const char* const kOmitKeys[6] = {"OmitOpen",  "OmitHigh", "OmitLow",
                                  "OmitClose", "OmitVol",  "OmitOI"};
// Control ids of the omit boxes, in column order (open, high, low, close, volume, oi).
constexpr int kOmitIds[6] = {1047, 1048, 1050, 1049, 1051, 1052};
const char* const kOmitLabels[6] = {"Open", "High", "Low", "Close", "Volume", "Open Interest"};
// The save-file dialog's "do not ask before overwriting" option (QFileDialog's
// DontConfirmOverwrite): the command asks itself.
constexpr int kNoOverwritePrompt = 0x4;

QString Id(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

}  // namespace

ExportChoices ExportChoices::Load(const SettingsStore& s) {
    ExportChoices c;
    c.file = s.GetProfileString(kSection, QStringLiteral("Starter"), c.file);
    c.delimiter = s.GetProfileInt(kSection, QStringLiteral("Delim"), 0);
    for (int i = 0; i < 6; ++i)
        c.omit[static_cast<std::size_t>(i)] =
            s.GetProfileInt(kSection, QString::fromLatin1(kOmitKeys[i]), 0) != 0;
    c.newest = s.GetProfileInt(kSection, QStringLiteral("Newest"), 0);
    c.title = s.GetProfileInt(kSection, QStringLiteral("Title"), 0) != 0;
    c.dateFormat = s.GetProfileInt(kSection, QStringLiteral("DateFormat"), 0);
    c.time = s.GetProfileInt(kSection, QStringLiteral("Time"), 0) != 0;
    c.precision = s.GetProfileInt(kSection, QStringLiteral("Precision"), 0) != 0;
    return c;
}

void ExportChoices::Save(SettingsStore& s) const {
    s.WriteProfileString(kSection, QStringLiteral("Starter"), file);
    for (int i = 0; i < 6; ++i)
        s.WriteProfileInt(kSection, QString::fromLatin1(kOmitKeys[i]),
                          omit[static_cast<std::size_t>(i)] ? 1 : 0);
    s.WriteProfileInt(kSection, QStringLiteral("Delim"), delimiter);
    s.WriteProfileInt(kSection, QStringLiteral("Newest"), newest);
    s.WriteProfileInt(kSection, QStringLiteral("Title"), title ? 1 : 0);
    s.WriteProfileInt(kSection, QStringLiteral("DateFormat"), dateFormat);
    s.WriteProfileInt(kSection, QStringLiteral("Time"), time ? 1 : 0);
    s.WriteProfileInt(kSection, QStringLiteral("Precision"), precision ? 1 : 0);
}

CExportDlg::CExportDlg(UiHost& host, const ExportChoices& c, bool hasTime, QWidget* parent)
    : QDialog(parent), m_host(host) {
    setObjectName(QStringLiteral("dlg135"));
    setWindowTitle(tr("Export"));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(tr("File:"), this));
    m_file = new QLineEdit(c.file, this);
    m_file->setObjectName(Id(1007));
    m_file->setMaxLength(200);
    fileRow->addWidget(m_file, 1);
    auto* browse = new QPushButton(tr("Browse..."), this);
    browse->setObjectName(Id(1008));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &CExportDlg::OnBrowse);
    fileRow->addWidget(browse);

    const auto radioGroup = [this](const QString& title,
                                   std::initializer_list<std::pair<int, const char*>> items,
                                   int checked, QButtonGroup*& group) {
        auto* box = new QGroupBox(title, this);
        auto* layout = new QVBoxLayout(box);
        group = new QButtonGroup(box);
        int index = 0;
        for (const auto& [id, text] : items) {
            auto* radio = new QRadioButton(tr(text), box);
            radio->setObjectName(Id(id));
            group->addButton(radio, index);
            radio->setChecked(index == checked);
            layout->addWidget(radio);
            ++index;
        }
        return box;
    };
    // A stored delimiter other than 0, 1 or 2 writes a blank: the Space button stands for it.
    const int delimiter = c.delimiter == 1 || c.delimiter == 2 ? c.delimiter : 0;
    QGroupBox* delimBox =
        radioGroup(tr("Column Delimiters"), {{1009, "Space"}, {1010, "Comma"}, {1011, "Tab"}},
                   delimiter, m_delimiter);
    QGroupBox* orderBox =
        radioGroup(tr("Order"), {{1012, "Oldest quote first"}, {1013, "Newest quote first"}},
                   c.newest != 0 ? 1 : 0, m_order);

    auto* omitBox = new QGroupBox(tr("Omit these columns"), this);
    auto* omitLayout = new QGridLayout(omitBox);
    for (int i = 0; i < 6; ++i) {
        auto* box = new QCheckBox(tr(kOmitLabels[i]), omitBox);
        box->setObjectName(Id(kOmitIds[i]));
        box->setChecked(c.omit[static_cast<std::size_t>(i)]);
        m_omit[static_cast<std::size_t>(i)] = box;
        omitLayout->addWidget(box, i % 3, i / 3);
    }

    auto* titleBox = new QGroupBox(tr("Title"), this);
    m_title = new QCheckBox(tr("Add title row"), titleBox);
    m_title->setObjectName(Id(1053));
    m_title->setChecked(c.title);
    (new QVBoxLayout(titleBox))->addWidget(m_title);

    auto* formatBox = new QGroupBox(tr("Format"), this);
    auto* formatLayout = new QGridLayout(formatBox);
    m_dateFormat = new QComboBox(formatBox);
    m_dateFormat->setObjectName(QStringLiteral("dateFormat"));
    m_dateFormat->addItems({QStringLiteral("MM/DD/YY"), QStringLiteral("YYYY-MM-DD")});
    m_dateFormat->setCurrentIndex(c.dateFormat == 1 ? 1 : 0);
    formatLayout->addWidget(new QLabel(tr("Date format:"), formatBox), 0, 0);
    formatLayout->addWidget(m_dateFormat, 0, 1);
    m_time = new QCheckBox(tr("Include time"), formatBox);
    m_time->setObjectName(QStringLiteral("includeTime"));
    m_time->setChecked(c.time);
    m_time->setEnabled(hasTime);
    formatLayout->addWidget(m_time, 1, 0, 1, 2);
    m_precision = new QCheckBox(tr("Full precision"), formatBox);
    m_precision->setObjectName(QStringLiteral("fullPrecision"));
    m_precision->setChecked(c.precision);
    formatLayout->addWidget(m_precision, 2, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(Id(1));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(Id(2));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(delimBox, 0, 0);
    grid->addWidget(omitBox, 0, 1);
    grid->addWidget(orderBox, 1, 0);
    grid->addWidget(titleBox, 1, 1);
    grid->addWidget(formatBox, 2, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fileRow);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

ExportChoices CExportDlg::choices() const {
    ExportChoices c;
    c.file = m_file->text();
    c.delimiter = m_delimiter->checkedId() < 0 ? 0 : m_delimiter->checkedId();
    for (std::size_t i = 0; i < 6; ++i) c.omit[i] = m_omit[i]->isChecked();
    c.newest = m_order->checkedId() == 1 ? 1 : 0;
    c.title = m_title->isChecked();
    c.dateFormat = m_dateFormat->currentIndex() == 1 ? 1 : 0;
    c.time = m_time->isChecked();
    c.precision = m_precision->isChecked();
    return c;
}

void CExportDlg::OnBrowse() {
    const QString path = m_host.saveFileName(m_file->text(), QStringLiteral("txt"),
                                             QStringLiteral("Text Files (*.txt);; All Files (*.*)"),
                                             kNoOverwritePrompt);
    if (!path.isEmpty()) m_file->setText(path);
}

void OnExport(CommandView& view, UiHost& host, SettingsStore& settings) {
    const auto security = view.SelectedSecurity();
    if (!security) return;
    SeriesFiles files;
    const bool hasTime =
        OpenSeriesFiles(security->id, files) == kSuccess && files.columns.has(kFieldTime);
    CExportDlg dlg(host, ExportChoices::Load(settings), hasTime, view.DialogParent());
    if (!host.runDialog(dlg)) return;
    const ExportChoices c = dlg.choices();
    const QByteArray name = QFile::encodeName(c.file);
    const fs::path path(name.toStdString());

    if (!c.file.isEmpty() && IsQuoteDataFileName(path)) {
        host.messageBox(
            QStringLiteral("%1\nis a quote-data file name. Export to a text file of another name.")
                .arg(c.file),
            UiHost::Buttons::Ok, UiHost::Icon::Stop);
        return;
    }
    if (!c.file.isEmpty() && QFile(c.file).open(QIODevice::ReadOnly)) {
        const QString question =
            QStringLiteral("%1\nThis file already exists\n\nReplace existing file?").arg(c.file);
        if (host.messageBox(question, UiHost::Buttons::YesNo, UiHost::Icon::Warning) !=
            UiHost::Answer::Yes)
            return;
    }

    ExportOptions options;
    options.delimiter = ExportDelimiterFor(c.delimiter);
    options.omit = c.omit;
    options.newestFirst = c.newest != 0;
    options.title = c.title;
    options.dateFormat = c.dateFormat == 1 ? ExportDateFormat::kIso : ExportDateFormat::kMmDdYy;
    options.time = c.time;
    options.fullPrecision = c.precision;

    // The file is written beside its final name and put in place by one rename, so a
    // failed export leaves no partial file and an earlier file as it was.
    DataStatus content = kSuccess;
    DataStatus output = kSuccess;
    {
        WaitCursor wait(host);
        OutputFile file(path);
        output = c.file.isEmpty() ? kFileOpen : file.open();
        if (output == kSuccess) {
            content = ExportSecurity(security->id, options, file.stream());
            if (content == kFileWrite) {
                content = kSuccess;
                output = kFileWrite;
            }
            if (content == kSuccess && output == kSuccess)
                output = file.commit();
            else
                file.abandon();
        }
    }
    if (output != kSuccess) {
        host.messageBox(QStringLiteral("file export error"), UiHost::Buttons::Ok);
        return;
    }
    if (content != kSuccess) {
        host.messageBox(
            QStringLiteral("The quotes of %1 could not be read (%2); nothing was exported.")
                .arg(Latin1(security->symbol), Latin1(DataStatusName(content))),
            UiHost::Buttons::Ok);
        return;
    }
    c.Save(settings);
    host.beep(UiHost::Beep::Asterisk);
}
