// "About Selected Quote Series": what the MASTER record, the DAT header and the layout of
// the selected series say.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "datafiles/datafacts.h"
#include "datafiles/master.h"

// The dialog's controls: each fact's text stands in the control of its id.
inline constexpr int kPathControl = 1053;
inline constexpr int kFileNumberControl = 1060;
inline constexpr int kSymbolControl = 1068;
inline constexpr int kDopIgnoredControl = 1090;
inline constexpr int kDataFileControl = 1091;
inline constexpr int kIndexFileControl = 1092;

// The quote file of an entry by its number (F12.DAT, F334.MWD), as named when not on disk.
std::string QuoteFileName(const barwise::SecurityId& id);

class CDataFactsDlg : public QDialog {
    Q_OBJECT
public:
    // The facts of the entry `id`; beside them the quote file (as named on disk) and the
    // index file that lists the security.
    CDataFactsDlg(const barwise::SecurityId& id, const barwise::DataFacts& facts,
                  QWidget* parent = nullptr);

    // The text shown in the control with this id (empty for an unknown id).
    QString Text(int controlId) const;
};
