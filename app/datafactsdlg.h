// "About Selected Quote Series": what the MASTER record, the DAT header and the layout of
// the selected series say.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "datafiles/datafacts.h"

// Beside the texts of DataFactsTexts: the quote file (F12.DAT, F334.MWD) and the index file
// that lists the security, and as its name the whole name where EMASTER or XMASTER holds
// one longer than MASTER's 16 characters.
inline constexpr int kDataFileControl = 1091;
inline constexpr int kIndexFileControl = 1092;
std::string QuoteFileName(const barwise::SecurityId& id);
std::vector<barwise::FactText> SecurityFactTexts(const barwise::SecurityId& id,
                                                 const barwise::DataFacts& facts);

class CDataFactsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDataFactsDlg(const std::vector<barwise::FactText>& texts, QWidget* parent = nullptr);

    // The text shown in the control with this id (empty for an unknown id).
    QString Text(int controlId) const;
};
