#include "app/searchprogressdlg.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

CSearchProgressDlg::CSearchProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("dlg110"));
    setWindowTitle(tr("Searching for Master Files"));
    // While the search runs only this window takes input: the main window waits.
    setWindowModality(Qt::ApplicationModal);

    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("ctl1029"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("ctl1030"));
    auto* label = new QLabel(tr("Number of Master files found:"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ctl2"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &CSearchProgressDlg::reject);

    const QFontMetrics fm = fontMetrics();
    const int width = 243 * fm.averageCharWidth() / 4;
    m_path->setFixedWidth(width);
    m_path->setMinimumHeight(fm.height());

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_path, 0, 0, 1, 2);
    layout->addWidget(label, 1, 0);
    layout->addWidget(m_count, 1, 1);
    layout->addWidget(m_cancel, 2, 0, 1, 2, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool CSearchProgressDlg::Create() {
    adjustSize();
    const QScreen* screen = this->screen();
    if (screen) {
        const QRect area = screen->geometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
    m_path->setText(m_pathText);
    m_count->setText(m_countText);
    show();
    return true;
}

void CSearchProgressDlg::SetPathText(const QString& text) {
    m_pathText = text;
    // A deep path keeps its start and its end.
    m_path->setText(m_path->fontMetrics().elidedText(text, Qt::ElideMiddle, m_path->width()));
}

void CSearchProgressDlg::SetCountText(const QString& text) {
    m_countText = text;
    m_count->setText(text);
}

void CSearchProgressDlg::reject() {
    m_cancelled = true;
    m_cancel->setEnabled(false);
    SetPathText(tr("Cancelling..."));
}
