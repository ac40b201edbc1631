#include "app/datafactsdlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "datafiles/series.h"

namespace {

struct LeftRow {
    const char* label;
    int id;
};
constexpr LeftRow kLeftRows[] = {
    {"Path:", 1053},
    {"File number", 1060},
    {"Data file", kDataFileControl},
    {"Listed in", kIndexFileControl},
    {"DAT file record length", 1062},
    {"DAT file number of fields", 1061},
    {"Number of quotes", 1064},
    {"Name of issue", 1071},
    {"First date in file", 1066},
    {"Last date in file", 1065},
    {"Data format", 1067},
    {"Symbol", 1068},
};

struct FieldRow {
    const char* label;
    int inputId;
    int displayId;
};
constexpr FieldRow kFieldRows[] = {
    {"Date", 1072, 1081}, {"Time", 1074, 1083}, {"Open", 1073, 1082}, {"High", 1075, 1084},
    {"Low", 1079, 1088},  {"Close", 1077, 1086}, {"Vol", 1076, 1085},  {"OI", 1078, 1087},
};

constexpr int kPathLimit = 300;
constexpr int kFileNumberLimit = 5;

}  // namespace

std::string QuoteFileName(const barwise::SecurityId& id) {
    return "F" + std::to_string(id.fileNumber) + "." + std::string(barwise::DataExtensionOf(id));
}

std::vector<barwise::FactText> SecurityFactTexts(const barwise::SecurityId& id,
                                                 const barwise::DataFacts& facts) {
    // The facts carry the whole name already; the quote file and its index file are added.
    std::vector<barwise::FactText> texts = barwise::DataFactsTexts(facts);
    const std::string_view index = id.inXmaster() ? barwise::kXmasterFileName : barwise::kMasterFileName;
    // The quote file as it is named on disk (f334.mwd, F334.MWD, ...).
    barwise::SeriesFiles files;
    const barwise::DataStatus opened = barwise::OpenSeriesFiles(id, files);
    const bool found = (opened == barwise::kSuccess || opened == barwise::kFileRead) && !files.datPath.empty();
    texts.push_back({"Data file", kDataFileControl, found ? files.datPath.filename().string() : QuoteFileName(id)});
    texts.push_back({"Listed in", kIndexFileControl, std::string(index)});
    return texts;
}

CDataFactsDlg::CDataFactsDlg(const std::vector<barwise::FactText>& texts, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dlg104"));
    setWindowTitle(tr("About Selected Quote Series"));

    const auto textOf = [&](int id) {
        for (const barwise::FactText& t : texts) {
            if (t.controlId != id) continue;
            QString text = QString::fromLatin1(t.text);
            if (id == 1053) text.truncate(kPathLimit);
            if (id == 1060) text.truncate(kFileNumberLimit);
            return text;
        }
        return QString();
    };
    const auto valueLabel = [&](QWidget* parent, int id) {
        auto* value = new QLabel(textOf(id), parent);
        value->setObjectName(QStringLiteral("ctl%1").arg(id));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100,000ths")) + 12);
        return value;
    };

    auto* left = new QGroupBox(tr("Data from Master and DAT files"), this);
    auto* leftGrid = new QGridLayout(left);
    int row = 0;
    for (const LeftRow& r : kLeftRows) {
        leftGrid->addWidget(new QLabel(tr(r.label), left), row, 0);
        QLabel* value = valueLabel(left, r.id);
        if (r.id == 1053) value->setWordWrap(true);
        leftGrid->addWidget(value, row, 1);
        ++row;
    }
    leftGrid->setColumnStretch(1, 1);
    // Room for the longest name EMASTER and XMASTER hold, in capitals.
    leftGrid->setColumnMinimumWidth(
        1, fontMetrics().horizontalAdvance(QString(static_cast<qsizetype>(barwise::kLongNameSize), QLatin1Char('N'))) + 12);

    auto* right = new QGroupBox(tr("Data from DOP file (may be synthetic)"), this);
    auto* rightGrid = new QGridLayout(right);
    const char* const heads[] = {"Field", "Input", "Display"};
    for (int c = 0; c < 3; ++c) {
        auto* head = new QLabel(tr(heads[c]), right);
        QFont bold = head->font();
        bold.setBold(true);
        head->setFont(bold);
        rightGrid->addWidget(head, 0, c);
    }
    row = 1;
    for (const FieldRow& r : kFieldRows) {
        rightGrid->addWidget(new QLabel(tr(r.label), right), row, 0);
        rightGrid->addWidget(valueLabel(right, r.inputId), row, 1);
        rightGrid->addWidget(valueLabel(right, r.displayId), row, 2);
        ++row;
    }
    rightGrid->setRowStretch(row, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* boxes = new QHBoxLayout;
    boxes->addWidget(left, 3);
    boxes->addWidget(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    // A DOP file that was not trusted is named under the two boxes.
    const QString dopNote = textOf(barwise::kDopIgnoredControl);
    if (!dopNote.isEmpty()) {
        auto* note = new QLabel(dopNote, this);
        note->setObjectName(QStringLiteral("ctl%1").arg(barwise::kDopIgnoredControl));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    layout->addWidget(buttons);
}

QString CDataFactsDlg::Text(int controlId) const {
    const auto* label = findChild<QLabel*>(QStringLiteral("ctl%1").arg(controlId));
    return label ? label->text() : QString();
}
