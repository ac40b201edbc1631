// Help > About Barwise.
#pragma once

#include <QDialog>

namespace barwise {
class UiHost;
}
class CStaticLink;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr char kMailAddress[] = "barwise@kestrelwick.example";
    static constexpr char kWebAddress[] = "https://www.kestrelwick.example/barwise";

    // The visited flags belong to the application, so they outlive the box.
    CAboutDlg(barwise::UiHost& host, bool& mailVisited, bool& webVisited,
              QWidget* parent = nullptr);

    CStaticLink* MailLink() const { return m_mail; }
    CStaticLink* WebLink() const { return m_web; }

    // The text of the "Legal Stuff" box.
    QString m_legal;

private:
    CStaticLink* m_mail;
    CStaticLink* m_web;
};
