// The small "Searching for Master Files" window shown while a drive is searched, with a
// Cancel button that ends the search early.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class CSearchProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSearchProgressDlg(QWidget* parent);

    // Shows the window centred on the screen.
    bool Create();
    // Sets and shows the directory being searched / the number found so far.
    void SetPathText(const QString& text);
    void SetCountText(const QString& text);
    // The user asked to stop (Cancel, or Escape); the search ends at its next directory.
    bool Cancelled() const { return m_cancelled; }

    QString m_pathText;
    QString m_countText;

public slots:
    // The window stays up until the search has ended; rejecting it only asks to stop.
    void reject() override;

private:
    QLabel* m_path;
    QLabel* m_count;
    QPushButton* m_cancel;
    bool m_cancelled = false;
};
