#include "commands/symbols/deletesymboldlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDeleteSymbolDlg::CDeleteSymbolDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlg117"));
    setWindowTitle(tr("Delete Symbol"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(tr("Selected Symbol to Delete:"), this);
    m_symbol = new QLabel(group);
    m_symbol->setObjectName(QStringLiteral("ctl1044"));
    m_symbol->setMinimumWidth(120 * fontMetrics().averageCharWidth() / 4);
    m_symbol->setTextFormat(Qt::PlainText);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(m_symbol);
    layout->addWidget(group);
    auto* question =
        new QLabel(tr("Are you sure you want to delete the Symbol shown above? "), this);
    question->setWordWrap(true);
    layout->addWidget(question);

    auto* yes = new QPushButton(tr("Yes"), this);
    yes->setObjectName(QStringLiteral("ctl1"));
    yes->setAutoDefault(false);
    auto* no = new QPushButton(tr("No"), this);
    no->setObjectName(QStringLiteral("ctl2"));
    no->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(yes);
    row->addWidget(no);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(yes, no);
}

void CDeleteSymbolDlg::SetSymbol(const QString& symbol) {
    m_symbol->setText(symbol.left(kMaxText));
}

QString CDeleteSymbolDlg::Symbol() const {
    return m_symbol->text();
}

void CDeleteSymbolDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QWidget* p = parentWidget()) move(p->window()->geometry().center() - rect().center());
    if (auto* no = findChild<QPushButton*>(QStringLiteral("ctl2"))) no->setFocus();
}
