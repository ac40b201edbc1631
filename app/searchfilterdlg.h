// The "Portfolio Search Filter" dialog: the switch and the path the search keeps to.
#pragma once

#include <QDialog>
#include <vector>

#include "discovery/portfoliosearch.h"

class QCheckBox;
class QLineEdit;

namespace barwise {
class UiHost;
}

class CSearchFilterDlg : public QDialog {
    Q_OBJECT
public:
    // Longest path kept: a longer one would not survive the settings.
    static constexpr int kMaxPath = 259;

    CSearchFilterDlg(barwise::UiHost& host, const std::vector<barwise::Drive>& drives,
                     QWidget* parent = nullptr);

    void SetData(bool limit, const QString& path);
    bool Limit() const;
    QString Path() const;

    // OK: closes when the path is acceptable, otherwise says why and stays open.
    void OnOK();

private:
    void OnLimitClicked();

    barwise::UiHost& m_host;
    const std::vector<barwise::Drive>& m_drives;
    QCheckBox* m_limit;
    QLineEdit* m_path;
};
