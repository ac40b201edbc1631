#include "commands/quotes/quotecommands.h"

#include <algorithm>

#include "commands/quotes/quotedialogs.h"
#include "commands/quotes/quoteedits.h"
#include "datafiles/series.h"
#include "ui/commandview.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"
#include "undo/undoable.h"

using namespace barwise;

namespace {

QString Q(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

void Message(UiHost& host, std::string_view text) {
    host.messageBox(Q(text), UiHost::Buttons::Ok);
}

// A failed rewrite's message; one kept from writing by another writer says so.
void Failed(UiHost& host, std::string_view failure, DataStatus status, const SecurityId& id) {
    if (status != kPortfolioBusy) return Message(host, QuoteFailureText(failure, id, status));
    std::string text(failure);
    text += "\n\nNothing was changed: ";
    text += kPortfolioBusyMessage;
    text += '.';
    Message(host, text);
}

// The selected security's quotes, with the selected row; nothing when there is none.
struct Target {
    SecurityId id;
    std::string symbol;
    SeriesQuotes series;
    int row = 0;
};

std::optional<Target> Selected(CommandView& view, UiHost& host, std::string_view failure) {
    const auto security = view.SelectedSecurity();
    const auto quote = view.SelectedQuote();
    if (!security || !quote) return std::nullopt;
    Target t;
    t.id = security->id;
    t.symbol = Q(HistoryNameOf(security->symbol, security->name)).toStdString();
    t.row = quote->row;
    const DataStatus read = ReadSeriesQuotes(t.id, t.series);
    if (read != kSuccess || t.row < 0 || t.row >= t.series.count()) {
        Message(host, QuoteFailureText(failure, t.id, read));
        return std::nullopt;
    }
    return t;
}

ScaleCheck FitsIn(const SecurityId& id) {
    return [id](const EditRequest& r) { return CheckRewrite(r, id) != kInvalidParm; };
}

// Runs one rewrite of the target's series so that it can be undone under `label`.
DataStatus Rewrite(UiHost& host, const Target& t, const EditRequest& request, std::string_view what,
                   std::string_view rest) {
    UndoableChange change(t.id.directory);
    const DataStatus s = RewriteSeries(request, t.id, change.fs());
    if (const DataStatus kept = change.commit(ChangeLabel(what, t.symbol, rest)); kept != kSuccess)
        Message(host, NotUndoableMessage(kept));
    return s;
}

}  // namespace

void CQuoteCommands::OnQuoteEdit() {
    auto t = Selected(m_view, m_host, kEditFailedMessage);
    if (!t) return;
    CEditQuoteDlg dlg(m_host, t->series, t->row, m_view.DialogParent());
    if (!m_host.runDialog(dlg)) return;
    const QuoteRow& edited = t->series.row(t->row);
    if (const DataStatus s = Rewrite(m_host, *t, dlg.request(), "Edit",
                                     QuoteWhenText(edited.date, edited.time, t->series.hasTime));
        s != kSuccess) {
        Failed(m_host, kEditFailedMessage, s, t->id);
        if (s == kRecordNotFound || s == kFileNotFound) m_view.RefillQuotes(0);
        return;
    }
    const QString section = QStringLiteral("Edit");
    const auto texts = dlg.valueTexts();
    static const char* const kKeys[6] = {"Open", "Hi", "Lo", "Close", "Vol", "OI"};
    m_settings.WriteProfileString(section, QStringLiteral("Date"), dlg.dateText());
    for (std::size_t i = 0; i < 6; ++i)
        m_settings.WriteProfileString(section, QString::fromLatin1(kKeys[i]), Q(texts[i]));
    // The edited quote (the one the dialog showed on OK) stays selected and in view.
    m_view.RefillQuotes(dlg.row());
}

void CQuoteCommands::OnQuoteSplit() {
    auto t = Selected(m_view, m_host, kSplitFailedMessage);
    if (!t) return;
    CSplitDlg dlg(m_host, t->series.row(t->row).date, m_view.FirstDate(), m_view.LastDate(),
                  FitsIn(t->id), m_view.DialogParent());
    if (!m_host.runDialog(dlg)) return;
    if (const DataStatus s = Rewrite(m_host, *t, SplitRequest(dlg.input()), "Split",
                                     "from " + FormatDateMdy(dlg.input().date));
        s != kSuccess)
        return Failed(m_host, kSplitFailedMessage, s, t->id);
    const QString section = QStringLiteral("Split");
    m_settings.WriteProfileString(section, QStringLiteral("Date"), dlg.dateText());
    m_settings.WriteProfileString(section, QStringLiteral("New"), dlg.newText());
    m_settings.WriteProfileString(section, QStringLiteral("Old"), dlg.oldText());
    m_view.RefillQuotes(t->row);
}

void CQuoteCommands::OnQuoteAdjust() {
    auto t = Selected(m_view, m_host, kAdjustFailedMessage);
    if (!t) return;
    CAdjustDlg dlg(m_host, m_view.FirstDate(), m_view.LastDate(), FitsIn(t->id),
                   m_view.DialogParent());
    if (!m_host.runDialog(dlg)) return;
    if (const DataStatus s = Rewrite(
            m_host, *t, AdjustRequest(dlg.input()), "Adjust",
            "from " + FormatDateMdy(dlg.input().from) + " to " + FormatDateMdy(dlg.input().to));
        s != kSuccess)
        return Failed(m_host, kAdjustFailedMessage, s, t->id);
    const QString section = QStringLiteral("Adjust");
    m_settings.WriteProfileString(section, QStringLiteral("Date1"), dlg.fromText());
    m_settings.WriteProfileString(section, QStringLiteral("Date2"), dlg.toText());
    m_settings.WriteProfileString(section, QStringLiteral("PriceMult"), dlg.priceText());
    m_settings.WriteProfileString(section, QStringLiteral("VolMult"), dlg.volumeText());
    m_settings.WriteProfileString(section, QStringLiteral("OIMult"), dlg.oiText());
    m_view.RefillQuotes(t->row);
}

void CQuoteCommands::OnQuoteDelete() {
    auto t = Selected(m_view, m_host, kDeleteFailedMessage);
    if (!t) return;
    const QuoteRow& quote = t->series.row(t->row);
    const QString dateText = Q(FormatDateMdy(quote.date));
    // On a day of many intraday bars the dialog and its question name the bar by its time.
    CDeleteQuoteDlg dlg(m_host, Q(QuoteWhenText(quote.date, quote.time, t->series.hasTime)),
                        m_view.DialogParent());
    if (!m_host.runDialog(dlg)) return;
    const DataStatus s = Rewrite(m_host, *t, DeleteQuoteRequest(quote), "Delete",
                                 QuoteWhenText(quote.date, quote.time, t->series.hasTime));
    if (s == kDeleteNotFound) Message(m_host, kDeleteNotFoundMessage);
    if (s == kDeletedMasterStale) Message(m_host, kDeletedMasterStaleMessage);
    if (s != kSuccess && s != kDeletedMasterStale && s != kDeleteNotFound)
        return Failed(m_host, kDeleteFailedMessage, s, t->id);
    if (s == kDeleteNotFound) return Message(m_host, kDeleteFailedMessage);
    m_settings.WriteProfileString(QStringLiteral("Delete"), QStringLiteral("Date"), dateText);
    // The quote that stood below the deleted one takes its row (the one above, at the end).
    m_view.RefillQuotes(std::max(0, std::min(t->row, t->series.count() - 2)));
}

void CQuoteCommands::OnQuoteAdd() {
    auto t = Selected(m_view, m_host, kAddFailedMessage);
    if (!t) return;
    if (m_view.QuoteCount() >= kMaxQuotesPerFile) return Message(m_host, kSeriesFullMessage);
    const AddPlan plan = PlanAdd(t->series, t->row);
    const std::string newText = FormatDateMdy(plan.newDate);
    const QuoteRow& source = t->series.row(t->row);
    // The copy keeps the time of the bar it copies.
    const std::string fromText = QuoteWhenText(source.date, source.time, t->series.hasTime);
    switch (plan.verdict) {
        case AddPlan::Verdict::kOldest:
            return;  // the command is not available there
        case AddPlan::Verdict::kExists:
            return Message(m_host, DateExistsMessage(newText));
        case AddPlan::Verdict::kOutOfOrder:
            return Message(m_host, OutOfOrderMessage(newText, fromText));
        case AddPlan::Verdict::kOk:
            break;
    }
    CAddQuoteDlg dlg(Q(QuoteWhenText(plan.newDate, source.time, t->series.hasTime)),
                     m_view.DialogParent());
    if (!m_host.runDialog(dlg)) return;
    const DataStatus s = Rewrite(m_host, *t, plan.request, "Add",
                                 QuoteWhenText(plan.newDate, source.time, t->series.hasTime));
    if (s == kInsertOutOfOrder) {  // the file changed since it was read: nothing written
        return Message(m_host, OutOfOrderMessage(newText, fromText));
    }
    if (s != kSuccess) {
        Failed(m_host, kAddFailedMessage, s, t->id);
        m_view.RefillQuotes(0);
        return;
    }
    m_settings.WriteProfileString(QStringLiteral("Add"), QStringLiteral("Date"), Q(newText));
    // The new, older quote stands just below the quotes of the day it was copied from.
    m_view.RefillQuotes(plan.newRow);
    OnQuoteEdit();
}
