// The frame's price chart: it stands in the view's quotes area, follows the security and the
// quote the view tells, selects the quote of a clicked bar in the grid and shows the split
// search's candidates and the portfolio check's suspect quotes.
#include <QAction>
#include <QPointer>
#include <QSplitter>
#include <QTimer>

#include "app/barwiseview.h"
#include "app/commandids.h"
#include "app/mainframe.h"
#include "chart/chartwidget.h"
#include "check/checkdlg.h"
#include "splitsearch/splitsearchdlg.h"
#include "ui/settingsstore.h"

using namespace barwise;

void CMainFrame::AttachChart() {
    m_chart = new CChartWidget(m_host);
    QSplitter* area = m_view->QuoteArea();
    ApplyChartPlace(*area, *m_chart, ChartPlace::Load(m_settings));

    QAction* toggle = Action(kCmdViewChart);
    toggle->setCheckable(true);
    toggle->setChecked(!m_chart->isHidden());
    connect(toggle, &QAction::toggled, this, [this, area](bool shown) {
        // Shown again, it takes the share of the area it had.
        ChartPlace place = ReadChartPlace(*area, *m_chart);
        place.shown = shown;
        ApplyChartPlace(*area, *m_chart, place);
        StoreChartPlace();
        ScheduleUpdate();
    });
    // Its size is kept when the window closes, as the grids' column widths are.
    connect(m_chart, &CChartWidget::PlaceRequested, this, [this, area](bool below) {
        ChartPlace place = ReadChartPlace(*area, *m_chart);
        place.below = below;
        ApplyChartPlace(*area, *m_chart, place);
        StoreChartPlace();
    });

    // The quotes were read again: the chart reads them too, with the grid's selection.
    connect(m_view, &CBarwiseView::QuotesShown, m_chart,
            [this](const SecurityId& id, const QString& title) {
                m_chart->ShowSecurity(id, title);
                const auto quote = m_view->SelectedQuote();
                if (quote)
                    m_chart->Model().setSelected(m_view->QuoteCount() - 1 - quote->row, quote->date,
                                                 quote->time);
                ScheduleUpdate();
            });
    connect(m_view, &CBarwiseView::SecuritySelected, m_chart, [this](const SecurityId& id) {
        if (!id.valid()) {
            m_chart->ShowSecurity(id, QString());
            ScheduleUpdate();
        }
    });
    connect(m_view, &CBarwiseView::QuoteSelected, m_chart,
            [this](int position, DateCode date, TimeCode time) {
                // While a fill is under way the chart may still show the previous security.
                const auto security = m_view->SelectedSecurity();
                if (security && security->id == m_chart->Security())
                    m_chart->SetSelectedQuote(position, date, time);
            });
    connect(m_chart, &CChartWidget::BarClicked, m_view,
            [this](int position, DateCode date, TimeCode time) {
                m_view->SelectQuote(position, date, time);
            });
    connect(m_chart, &CChartWidget::BarActivated, this,
            [this](int position, DateCode date, TimeCode time) {
                if (!m_view->SelectQuote(position, date, time)) return;
                UpdateCommandUI();
                if (Action(kCmdQuoteEdit)->isEnabled()) Action(kCmdQuoteEdit)->trigger();
            });
    connect(Action(kCmdSaveChart), &QAction::triggered, this,
            [this] { SaveChartAs(*m_chart, m_host); });
    connect(m_chart, &CChartWidget::SaveRequested, this, [this] {
        UpdateCommandUI();
        if (Action(kCmdSaveChart)->isEnabled()) Action(kCmdSaveChart)->trigger();
    });
}

void CMainFrame::FollowSplitSearch(CSplitSearchDlg* window) {
    QPointer<CSplitSearchDlg> search(window);
    m_chart->SetMarkSource(MarkKind::kSplitCandidate, [search](const SecurityId& id) {
        std::vector<ChartMark> marks;
        if (!search) return marks;
        for (const CSplitSearchDlg::Candidate& c : search->CandidatesFor(id))
            marks.push_back(
                {MarkKind::kSplitCandidate, c.date, std::nullopt, c.line.toStdString()});
        return marks;
    });
    connect(window, &CSplitSearchDlg::CandidatesChanged, m_chart, &CChartWidget::RefreshMarks);
    // The candidates go with the window.
    connect(window, &QObject::destroyed, m_chart, [chart = QPointer<CChartWidget>(m_chart)] {
        QTimer::singleShot(0, chart, [chart] {
            if (chart) chart->SetMarkSource(MarkKind::kSplitCandidate, {});
        });
    });
}

void CMainFrame::FollowCheck(CCheckDlg* window) {
    // The newest Check window's suspect quotes are marked; closing it takes them away.
    QPointer<CCheckDlg> check(window);
    m_chart->SetMarkSource(MarkKind::kSuspectData, [check](const SecurityId& id) {
        std::vector<ChartMark> marks;
        if (!check) return marks;
        for (const Finding& f : check->Findings()) {
            if (f.cls != FindingClass::kSuspect || !(f.id == id) || f.date == kNoDate) continue;
            std::string text = f.what;
            if (!f.found.empty()) text += ": " + f.found;
            marks.push_back({MarkKind::kSuspectData, f.date,
                             f.hasTime ? std::optional<TimeCode>(f.time) : std::nullopt,
                             std::move(text)});
        }
        return marks;
    });
    connect(window, &CCheckDlg::FindingsChanged, m_chart, &CChartWidget::RefreshMarks);
    connect(window, &QObject::destroyed, m_chart, [chart = QPointer<CChartWidget>(m_chart)] {
        QTimer::singleShot(0, chart, [chart] {
            if (chart) chart->RefreshMarks();
        });
    });
}

void CMainFrame::StoreChartPlace() {
    if (!m_chart) return;
    ChartPlace place = ReadChartPlace(*m_view->QuoteArea(), *m_chart);
    // A hidden chart has no size of its own: the one it had is kept for its return.
    if (m_chart->isHidden()) place.share = ChartPlace::Load(m_settings).share;
    place.Store(m_settings);
}

bool CMainFrame::ChartHasQuotes() const {
    return m_chart && m_chart->Model().barCount() > 0;
}
