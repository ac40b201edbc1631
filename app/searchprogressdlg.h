// The small "Searching for Master Files" window shown while a drive is searched.
#pragma once

#include <QDialog>

class QLabel;

class CSearchProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSearchProgressDlg(QWidget* parent);

    // Shows the window centred on the screen.
    bool Create();
    // Sets and shows the directory being searched / the number found so far.
    void SetPathText(const QString& text);
    void SetCountText(const QString& text);

    QString m_pathText;
    QString m_countText;

private:
    QLabel* m_path;
    QLabel* m_count;
};
