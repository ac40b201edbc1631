#include "about/aboutdlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "about/staticlink.h"

CAboutDlg::CAboutDlg(barwise::UiHost& host, bool& mailVisited, bool& webVisited, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dlg100"));
    setWindowTitle(tr("About Barwise"));
    m_legal =
        tr("Copyright Kestrelwick Software. Barwise keeps the previous version of every "
           "file it changes as a backup (.BAK); keep copies of your databases all the same. "
           "Barwise comes with no warranty of any kind.");

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(QIcon(QStringLiteral(":/icons/barwise.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(tr("Barwise Version 3.0"), this);
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    auto* kind = new QLabel(tr("A 32 bit application"), this);

    auto* does = new QGroupBox(tr("What Barwise Does"), this);
    auto* doesLayout = new QVBoxLayout(does);
    doesLayout->addWidget(new QLabel(tr("Edits data in MetaStock or CompuTrac format"), does));

    auto* legal = new QGroupBox(tr("Legal Stuff"), this);
    auto* legalText = new QLabel(m_legal, legal);
    legalText->setObjectName(QStringLiteral("ctl1004"));
    legalText->setWordWrap(true);
    auto* legalLayout = new QVBoxLayout(legal);
    legalLayout->addWidget(legalText);

    m_mail = new CStaticLink(host, this);
    m_mail->setObjectName(QStringLiteral("ctl1042"));
    m_mail->setText(QString::fromLatin1(kMailAddress));
    m_mail->SetVisitedFlag(&mailVisited);
    m_web = new CStaticLink(host, this);
    m_web->setObjectName(QStringLiteral("ctl1043"));
    m_web->setText(QString::fromLatin1(kWebAddress));
    m_web->SetVisitedFlag(&webVisited);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(kind);
    texts->addSpacing(6);
    texts->addWidget(does);
    texts->addWidget(legal);
    auto* links = new QHBoxLayout;
    links->addWidget(m_mail);
    links->addStretch(1);
    links->addWidget(m_web);
    texts->addLayout(links);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // A wrapped text in a fixed-size box: give it the height its width needs.
    const int legalWidth = fontMetrics().averageCharWidth() * 52;
    legalText->setFixedWidth(legalWidth);
    legalText->setMinimumHeight(legalText->heightForWidth(legalWidth));
}
