// The dialogs of the quote-editing commands. Each gathers and checks its fields; the
// handlers in quotecommands.h run them and hand the requests to the rewrite engine.
// Controls carry their ids as object names ("ctl1007").
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "commands/quotes/quoteedits.h"

class QLabel;
class QLineEdit;
class QPushButton;
class CNumberEdit;
class CDateEdit;

namespace barwise {
class UiHost;
}

// Whether a scale would leave every value storable (the handler asks the engine).
using ScaleCheck = std::function<bool(const barwise::EditRequest&)>;

// "Edit Selected Quote": one quote's six values, with Previous / Next / First / Last to
// step through the series (row 0 is the newest quote).
class CEditQuoteDlg : public QDialog {
    Q_OBJECT
public:
    CEditQuoteDlg(barwise::UiHost& host, const barwise::SeriesQuotes& series, int row,
                  QWidget* parent = nullptr);

    // Shows row m_row.
    void LoadRow();
    int row() const { return m_row; }
    const barwise::QuoteRow& quote() const { return m_series.row(m_row); }
    QString dateText() const;
    std::array<std::string, 6> valueTexts() const;
    // Set of the quote shown to the values typed (available after OK).
    const barwise::EditRequest& request() const { return m_request; }

    void accept() override;

private:
    void step(int newRow);

    barwise::UiHost& m_host;
    const barwise::SeriesQuotes& m_series;
    int m_row = 0;
    QLabel* m_date = nullptr;
    std::array<CNumberEdit*, 6> m_values{};
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_first = nullptr;
    QPushButton* m_last = nullptr;
    barwise::EditRequest m_request;
};

// "Split Data": the split date and the ratio of new to old shares.
class CSplitDlg : public QDialog {
    Q_OBJECT
public:
    CSplitDlg(barwise::UiHost& host, barwise::DateCode date, barwise::DateCode first,
              barwise::DateCode last, ScaleCheck fits, QWidget* parent = nullptr);
    QString dateText() const;
    QString newText() const;
    QString oldText() const;
    const barwise::SplitInput& input() const { return m_input; }
    void accept() override;

private:
    barwise::UiHost& m_host;
    barwise::DateCode m_shown, m_first, m_lastDay;
    ScaleCheck m_fits;
    CDateEdit* m_date = nullptr;
    CNumberEdit* m_new = nullptr;
    CNumberEdit* m_old = nullptr;
    barwise::SplitInput m_input;
};

// "Adjust Data": a date range and three factors.
class CAdjustDlg : public QDialog {
    Q_OBJECT
public:
    CAdjustDlg(barwise::UiHost& host, barwise::DateCode first, barwise::DateCode last,
               ScaleCheck fits, QWidget* parent = nullptr);
    QString fromText() const;
    QString toText() const;
    QString priceText() const;
    QString volumeText() const;
    QString oiText() const;
    const barwise::AdjustInput& input() const { return m_input; }
    void accept() override;

private:
    barwise::UiHost& m_host;
    barwise::DateCode m_first, m_lastDay;
    ScaleCheck m_fits;
    CDateEdit* m_from = nullptr;
    CDateEdit* m_to = nullptr;
    CNumberEdit* m_price = nullptr;
    CNumberEdit* m_volume = nullptr;
    QLineEdit* m_oi = nullptr;
    barwise::AdjustInput m_input;
};

// "Delete Data": the date to delete; OK asks once more.
class CDeleteQuoteDlg : public QDialog {
    Q_OBJECT
public:
    CDeleteQuoteDlg(barwise::UiHost& host, const QString& dateText, QWidget* parent = nullptr);
    void accept() override;

private:
    barwise::UiHost& m_host;
    QString m_dateText;
};

// "Add Data": shows the date of the new quote.
class CAddQuoteDlg : public QDialog {
    Q_OBJECT
public:
    CAddQuoteDlg(const QString& dateText, QWidget* parent = nullptr);
};
