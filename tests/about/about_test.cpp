// The About box and its two links.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "about/aboutdlg.h"
#include "about/staticlink.h"
#include "ui/scripteduihost.h"

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void visitedColourOutlivesTheBox();
    void failedOpenOnlyBeeps();
    void linkTextTakenOnce();
    void hoverShowsHand();
};

namespace {

QColor TextColour(const CStaticLink* link) { return link->palette().color(QPalette::WindowText); }

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);

}  // namespace

void AboutTest::visitedColourOutlivesTheBox() {
    ScriptedUiHost host;
    bool mail = false;
    bool web = false;
    {
        CAboutDlg about(host, mail, web);
        QTest::mouseClick(about.WebLink(), Qt::LeftButton);
        QCOMPARE(host.opened, std::vector<QString>{QString::fromLatin1(CAboutDlg::kWebAddress)});
        QCOMPARE(TextColour(about.WebLink()), kPurple);
        QCOMPARE(TextColour(about.MailLink()), kBlue);
    }
    QVERIFY(web);
    QVERIFY(!mail);
    // Opened again: the web link is still visited, the mail link is not.
    CAboutDlg again(host, mail, web);
    QCOMPARE(TextColour(again.WebLink()), kPurple);
    QCOMPARE(TextColour(again.MailLink()), kBlue);
    // A mail address is opened as one.
    QTest::mouseClick(again.MailLink(), Qt::LeftButton);
    QCOMPARE(host.opened.back(), QStringLiteral("mailto:") + QString::fromLatin1(CAboutDlg::kMailAddress));
    QVERIFY(mail);
    QVERIFY(host.beeps.empty());
}

void AboutTest::failedOpenOnlyBeeps() {
    ScriptedUiHost host;
    host.openResult = false;
    bool mail = false;
    bool web = false;
    CAboutDlg about(host, mail, web);
    QTest::mouseClick(about.WebLink(), Qt::LeftButton);
    QCOMPARE(host.beeps, std::vector<barwise::UiHost::Beep>{barwise::UiHost::Beep::Default});
    QVERIFY(host.messages.empty());
    QVERIFY(!web);
    QCOMPARE(TextColour(about.WebLink()), kBlue);
}

void AboutTest::linkTextTakenOnce() {
    ScriptedUiHost host;
    bool visited = false;
    CStaticLink link(host);
    link.SetVisitedFlag(&visited);
    link.setText(QStringLiteral("https://first.example"));
    link.OpenLink();
    link.setText(QStringLiteral("https://second.example"));
    link.OpenLink();
    QCOMPARE(host.opened, (std::vector<QString>{QStringLiteral("https://first.example"),
                                                QStringLiteral("https://first.example")}));
    // A click right after another waits for the pause to end before tracking the pointer.
    QVERIFY(link.m_clickPause);
    QTRY_VERIFY_WITH_TIMEOUT(!link.m_clickPause, 3000);
}

void AboutTest::hoverShowsHand() {
    ScriptedUiHost host;
    CStaticLink link(host);
    link.setText(QStringLiteral("https://example.example"));
    link.resize(200, 20);
    link.show();
    QMouseEvent inside(QEvent::MouseMove, QPointF(5, 5), link.mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&link, &inside);
    QVERIFY(link.m_hovered);
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QMouseEvent outside(QEvent::MouseMove, QPointF(500, 5), link.mapToGlobal(QPointF(500, 5)), Qt::NoButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&link, &outside);
    QVERIFY(!link.m_hovered);
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
