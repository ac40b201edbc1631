#include "commands/symbols/movesymboldlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole;

QLabel* AddText(QFormLayout* form, QWidget* parent, const QString& label, const char* id) {
    auto* text = new QLabel(parent);
    text->setObjectName(QString::fromLatin1(id));
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, text);
    return text;
}

}  // namespace

CMoveSymbolDlg::CMoveSymbolDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlg115"));
    setWindowTitle(tr("Move Symbol"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_symbol = AddText(form, this, tr("You have chosen Symbol:"), "ctl1041");
    m_name = AddText(form, this, tr("with Name:"), "ctl1042");
    m_portfolio = AddText(form, this, tr("presently in Portfolio:"), "ctl1043");
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Select destination portfolio and click OK"), this));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ctl1040"));
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setMinimumSize(180 * fontMetrics().averageCharWidth() / 4, 6 * fontMetrics().height());
    layout->addWidget(m_list, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ctl2"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMoveSymbolDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CMoveSymbolDlg::OnOK);
}

void CMoveSymbolDlg::SetMove(bool move) {
    m_move = move;
    setWindowTitle(move ? tr("Move Symbol") : tr("Copy Symbol"));
}

void CMoveSymbolDlg::SetData(const QString& symbol, const QString& name, const QString& portfolio,
                             const std::vector<std::string>& portfolios, int current) {
    m_symbol->setText(symbol);
    m_name->setText(name);
    m_portfolio->setText(portfolio);
    m_list->clear();
    m_extent = 0;
    const QFontMetrics fm = m_list->fontMetrics();
    for (std::size_t i = 0; i < portfolios.size(); ++i) {
        if (static_cast<int>(i) == current) continue;
        const QString text = QString::fromStdString(portfolios[i]);
        auto* item = new QListWidgetItem(text, m_list);
        item->setData(kPathRole, QByteArray::fromStdString(portfolios[i]));
        m_extent = std::max(m_extent, fm.horizontalAdvance(text));
    }
    if (m_list->count() > 0) m_list->setCurrentRow(0);
}

void CMoveSymbolDlg::OnOK() {
    const QListWidgetItem* item = m_list->currentItem();
    m_destination = item && item->isSelected() ? item->data(kPathRole).toByteArray().toStdString()
                                               : std::string();
    accept();
}
