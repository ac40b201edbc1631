#include "commands/symbols/editsymboldlg.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/symbols/symbolops.h"
#include "ui/uihost.h"

namespace {

QLineEdit* AddField(QWidget* parent, QVBoxLayout* layout, const QString& title, const char* id,
                    int width) {
    auto* group = new QGroupBox(title, parent);
    auto* edit = new QLineEdit(group);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setMaxLength(CEditSymbolDlg::kMaxText);
    edit->setMinimumWidth(width);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(edit);
    layout->addWidget(group);
    return edit;
}

// The width that shows `chars` capital letters whole in the field, frame and margins
// included (a line edit's own size hint is 17 small x's plus those).
int FieldWidthFor(const QLineEdit* edit, int chars) {
    const QFontMetrics fm = edit->fontMetrics();
    const int chrome = edit->sizeHint().width() - 17 * fm.horizontalAdvance(QLatin1Char('x'));
    return fm.horizontalAdvance(QString(chars, QLatin1Char('X'))) + std::max(chrome, 0);
}

}  // namespace

CEditSymbolDlg::CEditSymbolDlg(barwise::UiHost& host, QWidget* parent)
    : QDialog(parent), m_host(host) {
    setObjectName(QStringLiteral("dlg113"));
    setWindowTitle(tr("Edit Symbol"));
    auto* layout = new QVBoxLayout(this);
    const int width = 110 * fontMetrics().averageCharWidth() / 4;
    m_symbol = AddField(this, layout, tr("Symbol"), "ctl1039", width);
    m_name = AddField(this, layout, tr("Name"), "ctl1040", width);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ctl2"));
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditSymbolDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CEditSymbolDlg::SetLimits(const barwise::TextLimits& limits) {
    m_limits = limits;
    m_symbol->setMaxLength(static_cast<int>(limits.symbol));
    m_name->setMaxLength(static_cast<int>(limits.name));
    // Both fields as wide as the longest text the entry takes (45 characters of a name
    // where EMASTER or XMASTER holds it), never narrower than they open.
    const int longest = static_cast<int>(std::max(limits.symbol, limits.name));
    const int width = std::max(m_name->minimumWidth(), FieldWidthFor(m_name, longest));
    m_symbol->setMinimumWidth(width);
    m_name->setMinimumWidth(width);
}

void CEditSymbolDlg::SetData(const QString& symbol, const QString& name) {
    m_symbol->setText(symbol);
    m_name->setText(name);
    m_oldSymbol = symbol.toLatin1().toStdString();
    m_oldName = name.toLatin1().toStdString();
}

QString CEditSymbolDlg::Symbol() const {
    return m_symbol->text();
}
QString CEditSymbolDlg::Name() const {
    return m_name->text();
}

void CEditSymbolDlg::OnOK() {
    // Every character as typed or pasted, a non-Latin-1 one included (it is refused by name,
    // never turned into '?').
    const auto chars = [](const QString& text) {
        const QList<uint> ucs = text.toUcs4();
        return std::u32string(ucs.begin(), ucs.end());
    };
    barwise::TextField field = barwise::TextField::kSymbol;
    const std::string problem =
        m_entry ? barwise::CheckRename(*m_entry, chars(Symbol()), chars(Name()), &field)
                : barwise::CheckRenameTexts(chars(Symbol()), chars(Name()), m_oldSymbol, m_oldName,
                                            m_limits, &field);
    if (problem.empty()) {
        accept();
        return;
    }
    m_host.messageBox(QString::fromStdString(problem), barwise::UiHost::Buttons::Ok,
                      barwise::UiHost::Icon::Warning);
    QLineEdit* wrong = field == barwise::TextField::kName ? m_name : m_symbol;
    wrong->setFocus();
    wrong->selectAll();
}
