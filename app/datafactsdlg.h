// "About Selected Quote Series": what the MASTER record, the DAT header and the layout of
// the selected series say.
#pragma once

#include <QDialog>
#include <vector>

#include "datafiles/datafacts.h"

class CDataFactsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDataFactsDlg(const std::vector<barwise::FactText>& texts, QWidget* parent = nullptr);

    // The text shown in the control with this id (empty for an unknown id).
    QString Text(int controlId) const;
};
