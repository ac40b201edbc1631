#include "app/searchfilterdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/searchfilter.h"
#include "ui/uihost.h"

CSearchFilterDlg::CSearchFilterDlg(barwise::UiHost& host, const std::vector<barwise::Drive>& drives,
                                   QWidget* parent)
    : QDialog(parent), m_host(host), m_drives(drives) {
    setObjectName(QStringLiteral("dlg114"));
    setWindowTitle(tr("Portfolio Search Filter"));

    m_limit = new QCheckBox(tr("Only search for Portfolios in paths like that below"), this);
    m_limit->setObjectName(QStringLiteral("ctl1110"));
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("ctl1111"));
    m_path->setMaxLength(kMaxPath);
    m_path->setEnabled(false);
    m_path->setMinimumWidth(170 * fontMetrics().averageCharWidth() / 4);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ctl2"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_limit);
    layout->addWidget(m_path);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_limit, &QCheckBox::clicked, this, &CSearchFilterDlg::OnLimitClicked);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSearchFilterDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CSearchFilterDlg::SetData(bool limit, const QString& path) {
    m_limit->setChecked(limit);
    m_path->setText(path);
    m_path->setEnabled(limit);
}

bool CSearchFilterDlg::Limit() const {
    return m_limit->isChecked();
}

QString CSearchFilterDlg::Path() const {
    return m_path->text();
}

void CSearchFilterDlg::OnLimitClicked() {
    m_path->setEnabled(m_limit->isChecked());
}

void CSearchFilterDlg::OnOK() {
    if (barwise::FilterPathAccepted(Limit(), Path().toStdString(), m_drives)) {
        accept();
        return;
    }
    m_host.messageBox(tr("The Search Filter path refers to an unknown drive"),
                      barwise::UiHost::Buttons::Ok, barwise::UiHost::Icon::Warning);
}
