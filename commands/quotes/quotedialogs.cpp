#include "commands/quotes/quotedialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/quotes/dateedit.h"
#include "commands/quotes/numberedit.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

QString Q(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toLatin1().toStdString();
}

QString DateText(DateCode d) {
    return Q(FormatDateMdy(d));
}

QString Id(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setObjectName(Id(1));
    box->button(QDialogButtonBox::Cancel)->setObjectName(Id(2));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

// "Invalid Data Entered" naming the field, which then has the focus with its text selected.
void ShowInvalid(UiHost& host, QLineEdit* field, std::string_view label) {
    host.messageBox(Q(InvalidFieldMessage(label)), UiHost::Buttons::Ok);
    field->setFocus();
    field->selectAll();
}

}  // namespace

// ----- Edit Selected Quote -----

CEditQuoteDlg::CEditQuoteDlg(UiHost& host, const SeriesQuotes& series, int row, QWidget* parent)
    : QDialog(parent), m_host(host), m_series(series), m_row(row) {
    setObjectName(QStringLiteral("dlg105"));
    setWindowTitle(tr("Edit Selected Quote"));
    auto* form = new QFormLayout;
    m_date = new QLabel(QStringLiteral("date value"), this);
    m_date->setObjectName(Id(1006));
    form->addRow(tr("Date:"), m_date);
    static const char* const kLabels[6] = {
        "Open:", "High:", "Low:", "Close:", "Volume:", "Open Interest:"};
    for (int i = 0; i < 6; ++i) {
        auto* edit = new CNumberEdit(host, this);
        edit->setObjectName(Id(1007 + i));
        edit->setMaxLength(16);
        edit->setAllowMinus(i < 4);  // prices of back-adjusted series go below zero
        m_values[static_cast<std::size_t>(i)] = edit;
        form->addRow(tr(kLabels[i]), edit);
    }
    auto* nav = new QGridLayout;
    m_previous = new QPushButton(tr("Previous"), this);
    m_next = new QPushButton(tr("Next"), this);
    m_first = new QPushButton(tr("First"), this);
    m_last = new QPushButton(tr("Last"), this);
    int id = 1013;
    for (QPushButton* b : {m_previous, m_next, m_first, m_last}) {
        b->setObjectName(Id(id++));
        b->setAutoDefault(false);
        b->setEnabled(false);
    }
    nav->addWidget(m_previous, 0, 0);
    nav->addWidget(m_next, 0, 1);
    nav->addWidget(m_first, 1, 0);
    nav->addWidget(m_last, 1, 1);
    connect(m_previous, &QPushButton::clicked, this, [this] { step(m_row + 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { step(m_row - 1); });
    connect(m_first, &QPushButton::clicked, this, [this] { step(m_series.count() - 1); });
    connect(m_last, &QPushButton::clicked, this, [this] { step(0); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(nav);
    layout->addWidget(OkCancel(this));
    LoadRow();
}

void CEditQuoteDlg::step(int newRow) {
    if (newRow < 0 || newRow >= m_series.count()) return;
    m_row = newRow;
    LoadRow();
}

void CEditQuoteDlg::LoadRow() {
    const QuoteRow& q = quote();
    QString date = DateText(q.date);
    if (m_series.hasTime) {
        const TimeParts t = SplitTime(q.time);
        date += QStringLiteral(" %1:%2:%3")
                    .arg(t.hour, 2, 10, QLatin1Char('0'))
                    .arg(t.minute, 2, 10, QLatin1Char('0'))
                    .arg(t.second, 2, 10, QLatin1Char('0'));
    }
    m_date->setText(date);
    for (std::size_t i = 0; i < 6; ++i) {
        m_values[i]->setText(
            Q(QuoteValueText(static_cast<int>(i), q.values[i], m_series.present[i])));
        // A field the series does not have is shown, and cannot be edited.
        m_values[i]->setEnabled(m_series.present[i]);
    }
    m_next->setEnabled(m_row != 0);
    m_last->setEnabled(m_row != 0);
    m_previous->setEnabled(m_row != m_series.count() - 1);
    m_first->setEnabled(m_row != m_series.count() - 1);
}

QString CEditQuoteDlg::dateText() const {
    return DateText(quote().date);
}

std::array<std::string, 6> CEditQuoteDlg::valueTexts() const {
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < 6; ++i) texts[i] = S(m_values[i]->text());
    return texts;
}

void CEditQuoteDlg::accept() {
    static const char* const kFields[6] = {"Open",  "High",   "Low",
                                           "Close", "Volume", "Open Interest"};
    int wrong = 0;
    const std::optional<EditRequest> request =
        EditQuoteRequest(quote(), valueTexts(), m_series.present, &wrong);
    if (!request)
        return ShowInvalid(m_host, m_values[static_cast<std::size_t>(wrong)], kFields[wrong]);
    m_request = *request;
    QDialog::accept();
}

// ----- Split Data -----

CSplitDlg::CSplitDlg(UiHost& host, DateCode date, DateCode first, DateCode last, ScaleCheck fits,
                     QWidget* parent)
    : QDialog(parent),
      m_host(host),
      m_shown(date),
      m_first(first),
      m_lastDay(last),
      m_fits(std::move(fits)) {
    setObjectName(QStringLiteral("dlg106"));
    setWindowTitle(tr("Split Data"));
    auto* dateBox = new QGroupBox(tr("Split Date"), this);
    m_date = new CDateEdit(host, dateBox);
    m_date->setObjectName(Id(1018));
    // Where the series reaches outside 1960-2059 every date is typed with its century.
    m_date->setText(Q(FormatDateMdy(date, WideDateFields(first, last))));
    m_date->selectAll();  // the first digit typed replaces the month
    (new QVBoxLayout(dateBox))->addWidget(m_date);

    auto* ratios = new QGroupBox(tr("Ratios"), this);
    auto* ratioForm = new QFormLayout(ratios);
    m_new = new CNumberEdit(host, ratios);
    m_new->setObjectName(Id(1015));
    m_old = new CNumberEdit(host, ratios);
    m_old->setObjectName(Id(1016));
    for (CNumberEdit* e : {m_new, m_old}) {
        e->setMaxLength(5);
        e->setText(QStringLiteral("1"));
    }
    ratioForm->addRow(tr("New Shares"), m_new);
    ratioForm->addRow(tr("Old Shares"), m_old);

    auto* row = new QHBoxLayout;
    row->addWidget(dateBox);
    row->addWidget(ratios);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

QString CSplitDlg::dateText() const {
    return m_date->text();
}
QString CSplitDlg::newText() const {
    return m_new->text();
}
QString CSplitDlg::oldText() const {
    return m_old->text();
}

void CSplitDlg::accept() {
    int wrong = 0;
    const auto in =
        CheckSplit(S(dateText()), m_shown, S(newText()), S(oldText()), m_first, m_lastDay, &wrong);
    static const char* const kFields[3] = {"Split Date", "New Shares", "Old Shares"};
    QLineEdit* const fields[3] = {m_date, m_new, m_old};
    if (!in) return ShowInvalid(m_host, fields[wrong], kFields[wrong]);
    // A ratio whose result does not fit the quote file (too large, or too small to be kept).
    if (m_fits && !m_fits(SplitRequest(*in))) return ShowInvalid(m_host, m_new, kFields[1]);
    m_input = *in;
    QDialog::accept();
}

// ----- Adjust Data -----

CAdjustDlg::CAdjustDlg(UiHost& host, DateCode first, DateCode last, ScaleCheck fits,
                       QWidget* parent)
    : QDialog(parent), m_host(host), m_first(first), m_lastDay(last), m_fits(std::move(fits)) {
    setObjectName(QStringLiteral("dlg107"));
    setWindowTitle(tr("Adjust Data"));
    auto* dates = new QGroupBox(tr("Dates"), this);
    auto* dateForm = new QFormLayout(dates);
    m_from = new CDateEdit(host, dates);
    m_from->setObjectName(Id(1019));
    // Both dates in one form: with the century where the series reaches outside 1960-2059.
    const bool wide = WideDateFields(first, last);
    m_from->setText(Q(FormatDateMdy(first, wide)));
    m_from->selectAll();
    m_to = new CDateEdit(host, dates);
    m_to->setObjectName(Id(1020));
    m_to->setText(Q(FormatDateMdy(last, wide)));
    m_to->selectAll();
    dateForm->addRow(tr("From:"), m_from);
    dateForm->addRow(tr("To:"), m_to);

    auto* mult = new QGroupBox(tr("Multipliers"), this);
    auto* multForm = new QFormLayout(mult);
    m_price = new CNumberEdit(host, mult);
    m_price->setObjectName(Id(1022));
    m_volume = new CNumberEdit(host, mult);
    m_volume->setObjectName(Id(1021));
    m_oi = new QLineEdit(mult);
    m_oi->setObjectName(Id(1024));
    for (QLineEdit* e :
         {static_cast<QLineEdit*>(m_price), static_cast<QLineEdit*>(m_volume), m_oi}) {
        e->setMaxLength(8);
        e->setText(QStringLiteral("1"));
    }
    multForm->addRow(tr("Price"), m_price);
    multForm->addRow(tr("Volume"), m_volume);
    multForm->addRow(tr("Open Interest"), m_oi);

    auto* row = new QHBoxLayout;
    row->addWidget(dates);
    row->addWidget(mult);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

QString CAdjustDlg::fromText() const {
    return m_from->text();
}
QString CAdjustDlg::toText() const {
    return m_to->text();
}
QString CAdjustDlg::priceText() const {
    return m_price->text();
}
QString CAdjustDlg::volumeText() const {
    return m_volume->text();
}
QString CAdjustDlg::oiText() const {
    return m_oi->text();
}

void CAdjustDlg::accept() {
    int wrong = 0;
    const auto in = CheckAdjust(S(fromText()), m_first, S(toText()), m_lastDay, S(priceText()),
                                S(volumeText()), S(oiText()), m_first, m_lastDay, &wrong);
    static const char* const kFields[5] = {"From", "To", "Price", "Volume", "Open Interest"};
    QLineEdit* const fields[5] = {m_from, m_to, m_price, m_volume, m_oi};
    if (!in) return ShowInvalid(m_host, fields[wrong], kFields[wrong]);
    if (m_fits && !m_fits(AdjustRequest(*in))) {
        // A result that does not fit the quote file: the first factor that changes anything.
        const int field = in->price != 1.0f ? 2 : in->volume != 1.0f ? 3 : 4;
        return ShowInvalid(m_host, fields[field], kFields[field]);
    }
    m_input = *in;
    QDialog::accept();
}

// ----- Delete Data -----

CDeleteQuoteDlg::CDeleteQuoteDlg(UiHost& host, const QString& dateText, QWidget* parent)
    : QDialog(parent), m_host(host), m_dateText(dateText) {
    setObjectName(QStringLiteral("dlg108"));
    setWindowTitle(tr("Delete Data"));
    auto* box = new QGroupBox(tr("Selected Date to Delete:"), this);
    auto* date = new QLabel(dateText, box);
    date->setObjectName(Id(1022));
    date->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(box))->addWidget(date);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(OkCancel(this));
}

void CDeleteQuoteDlg::accept() {
    const QString question = Q(DeleteQuestion(S(m_dateText)));
    if (m_host.messageBox(question, UiHost::Buttons::YesNo, UiHost::Icon::None) ==
        UiHost::Answer::Yes)
        QDialog::accept();
}

// ----- Add Data -----

CAddQuoteDlg::CAddQuoteDlg(const QString& dateText, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlg136"));
    setWindowTitle(tr("Add Data"));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("New Date:"), this));
    auto* date = new QLabel(dateText, this);
    date->setObjectName(Id(1043));
    row->addWidget(date);
    row->addStretch();
    auto* text =
        new QLabel(tr("The new quote will be added using the same data as the following day. "
                      "You may then edit it to suit."),
                   this);
    text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(text);
    layout->addWidget(OkCancel(this));
}
