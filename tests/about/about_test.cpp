// The About box's two links: what each opens, the visited mark the program keeps for the
// next box, a failed open that only beeps, and the text a link takes once.
#include <QtTest>

#include "about/aboutdlg.h"
#include "about/staticlink.h"
#include "ui/scripteduihost.h"

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void linksOpenAndAreMarkedVisited();
};

void AboutTest::linksOpenAndAreMarkedVisited() {
    for (const bool opens : {true, false}) {
        ScriptedUiHost host;
        host.openResult = opens;
        bool mail = false, web = false;
        {
            CAboutDlg about(host, mail, web);
            QTest::mouseClick(about.WebLink(), Qt::LeftButton);
        }
        QCOMPARE(host.opened, std::vector<QString>{QString::fromLatin1(CAboutDlg::kWebAddress)});
        // The visited mark kept for the next box; a failed open beeps and says nothing.
        QCOMPARE(std::make_tuple(web, mail, host.beeps.size(), host.messages.size()),
                 std::make_tuple(opens, false, std::size_t{opens ? 0u : 1u}, std::size_t{0}));
        CAboutDlg again(host, mail, web);
        QTest::mouseClick(again.MailLink(), Qt::LeftButton);
        QCOMPARE(host.opened.back(), "mailto:" + QString::fromLatin1(CAboutDlg::kMailAddress));
        QCOMPARE(mail, opens);
    }

    // A link opens the text it was given first, whatever it shows later.
    ScriptedUiHost host;
    bool visited = false;
    CStaticLink link(host);
    link.SetVisitedFlag(&visited);
    for (const char* text : {"https://first.example", "https://second.example"}) {
        link.setText(QLatin1String(text));
        link.OpenLink();
    }
    QCOMPARE(host.opened, (std::vector<QString>(2, QStringLiteral("https://first.example"))));
    QVERIFY(visited);
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
