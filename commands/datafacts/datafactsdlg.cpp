#include "commands/datafacts/datafactsdlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/datafacts/facttexts.h"
#include "datafiles/series.h"
#include "ui/latin1.h"

namespace {

using barwise::Fact;

// The left-hand box: the facts, then the quote file and the index file after the file
// number.
enum class Extra { kNone, kDataFile, kIndexFile };
struct LeftRow {
    Fact fact;
    Extra extra;
    int id;
};
constexpr LeftRow kLeftRows[] = {
    {Fact::kPath, Extra::kNone, kPathControl},
    {Fact::kFileNumber, Extra::kNone, kFileNumberControl},
    {Fact::kPath, Extra::kDataFile, kDataFileControl},
    {Fact::kPath, Extra::kIndexFile, kIndexFileControl},
    {Fact::kRecordLength, Extra::kNone, 1062},
    {Fact::kFieldCount, Extra::kNone, 1061},
    {Fact::kQuoteCount, Extra::kNone, 1064},
    {Fact::kIssueName, Extra::kNone, 1071},
    {Fact::kFirstDate, Extra::kNone, 1066},
    {Fact::kLastDate, Extra::kNone, 1065},
    {Fact::kDataFormat, Extra::kNone, 1067},
    {Fact::kSymbol, Extra::kNone, kSymbolControl},
};

// Input and display controls of each field, in QuoteField order.
struct FieldIds {
    int inputId;
    int displayId;
};
constexpr FieldIds kFieldIds[barwise::kQuoteFieldCount] = {
    {1072, 1081}, {1074, 1083}, {1073, 1082}, {1075, 1084},
    {1079, 1088}, {1077, 1086}, {1076, 1085}, {1078, 1087},
};

constexpr int kPathLimit = 300;
constexpr int kFileNumberLimit = 5;

}  // namespace

std::string QuoteFileName(const barwise::SecurityId& id) {
    return "F" + std::to_string(id.fileNumber) + "." + std::string(barwise::DataExtensionOf(id));
}

CDataFactsDlg::CDataFactsDlg(const barwise::SecurityId& id, const barwise::DataFacts& facts,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dlg104"));
    setWindowTitle(tr("About Selected Quote Series"));

    // The quote file as it is named on disk (f334.mwd, F334.MWD, ...).
    barwise::SeriesFiles files;
    const barwise::DataStatus opened = barwise::OpenSeriesFiles(id, files);
    const bool found =
        (opened == barwise::kSuccess || opened == barwise::kFileRead) && !files.datPath.empty();
    const auto leftText = [&](const LeftRow& r) -> QString {
        switch (r.extra) {
            case Extra::kDataFile:
                return barwise::Latin1(found ? files.datPath.filename().string()
                                             : QuoteFileName(id));
            case Extra::kIndexFile:
                return barwise::Latin1(id.inXmaster() ? barwise::kXmasterFileName
                                                      : barwise::kMasterFileName);
            case Extra::kNone:
                break;
        }
        QString text = barwise::Latin1(barwise::FactText(facts, r.fact));
        if (r.id == kPathControl) text.truncate(kPathLimit);
        if (r.id == kFileNumberControl) text.truncate(kFileNumberLimit);
        return text;
    };
    const auto valueLabel = [&](QWidget* parent, int id, const QString& text) {
        auto* value = new QLabel(text, parent);
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
        const char* label = r.extra == Extra::kDataFile    ? "Data file"
                            : r.extra == Extra::kIndexFile ? "Listed in"
                                                           : barwise::FactLabel(r.fact).data();
        leftGrid->addWidget(new QLabel(tr(label), left), row, 0);
        QLabel* value = valueLabel(left, r.id, leftText(r));
        if (r.id == kPathControl) value->setWordWrap(true);
        leftGrid->addWidget(value, row, 1);
        ++row;
    }
    leftGrid->setColumnStretch(1, 1);
    // Room for the longest name EMASTER and XMASTER hold, in capitals.
    leftGrid->setColumnMinimumWidth(
        1, fontMetrics().horizontalAdvance(
               QString(static_cast<qsizetype>(barwise::kLongNameSize), QLatin1Char('N'))) +
               12);

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
    for (std::size_t f = 0; f < barwise::kQuoteFieldCount; ++f) {
        rightGrid->addWidget(new QLabel(tr(barwise::kFieldLabels[f].data()), right), row, 0);
        rightGrid->addWidget(
            valueLabel(right, kFieldIds[f].inputId, barwise::Latin1(facts.inputFormatName[f])), row,
            1);
        rightGrid->addWidget(
            valueLabel(right, kFieldIds[f].displayId, barwise::Latin1(facts.displayFormatName[f])),
            row, 2);
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
    const QString dopNote = barwise::Latin1(barwise::LayoutNote(facts));
    if (!dopNote.isEmpty()) {
        auto* note = new QLabel(dopNote, this);
        note->setObjectName(QStringLiteral("ctl%1").arg(kDopIgnoredControl));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    layout->addWidget(buttons);
}

QString CDataFactsDlg::Text(int controlId) const {
    const auto* label = findChild<QLabel*>(QStringLiteral("ctl%1").arg(controlId));
    return label ? label->text() : QString();
}
