// The chart pane: the quotes of the security the main view shows, painted by PaintChart.
// It reads the series itself (the view tells which security and when its quotes were read
// again) and keeps each security's range in view while the program runs.
//
// Mouse: a click selects the bar under the pointer, a double-click opens it for editing,
// a drag pans, the wheel zooms about the pointer. Keys: + and - zoom, Left and Right pan,
// Home and End go to the first and the last quote, F (or *) fits every quote. The context
// menu holds the bar style, the price scale, where the pane stands and Save Chart As.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "chart/chartmodel.h"
#include "chart/chartpainter.h"
#include "datafiles/master.h"

class QSplitter;

namespace barwise {
class SettingsStore;
class UiHost;
}  // namespace barwise

class CChartWidget : public QWidget {
    Q_OBJECT
public:
    // Gives the marks of one kind for a security (empty when there are none).
    using MarkSource = std::function<std::vector<barwise::ChartMark>(const barwise::SecurityId&)>;

    explicit CChartWidget(barwise::UiHost& host, QWidget* parent = nullptr);
    ~CChartWidget() override;

    // Reads the quotes of `id` (an invalid id empties the chart). The range last shown for
    // that security comes back; a security not shown before is shown whole.
    void ShowSecurity(const barwise::SecurityId& id, const QString& title);
    // The selected quote by its position in the file (0 = oldest; -1: none), its date and
    // time; its bar is marked and scrolled into view.
    void SetSelectedQuote(int position, barwise::DateCode date, barwise::TimeCode time);
    void SetMarkSource(barwise::MarkKind kind, MarkSource source);
    // Asks every mark source again for the security shown.
    void RefreshMarks();

    void SetBarStyle(barwise::BarStyle style);
    barwise::BarStyle BarStyleShown() const { return m_look.style; }
    // A logarithmic scale the series cannot take is refused, and the pane says why.
    bool SetLogScale(bool on);
    bool LogScaleWanted() const { return m_wantLog; }
    QString Note() const { return m_look.note; }

    barwise::ChartModel& Model() { return m_model; }
    const barwise::ChartModel& Model() const { return m_model; }
    const barwise::SecurityId& Security() const { return m_id; }
    QString Title() const { return m_look.title; }
    // The pixel (in the widget) of the middle of bar i, on the price pane.
    QPoint BarPoint(int bar) const;
    // The bar drawn under a pixel of the widget; -1 off the panes.
    int BarAtPoint(QPoint pos) const;

    // Paints the chart into `device` at `size` (the saved pictures).
    void Render(QPaintDevice& device, const QSize& size) const;

signals:
    // A bar was clicked: its position (0 = oldest), date and time.
    void BarClicked(int position, barwise::DateCode date, barwise::TimeCode time);
    void BarActivated(int position, barwise::DateCode date, barwise::TimeCode time);
    // The context menu's choices that belong to the window: Save Chart As, the place.
    void SaveRequested();
    void PlaceRequested(bool below);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    using Key = std::tuple<int, std::string, int, int>;
    static Key KeyOf(const barwise::SecurityId& id);
    void RememberRange();
    void UpdateNote();
    void ShowMarkTip(QPoint pos, QPoint global);

    barwise::UiHost& m_host;
    barwise::ChartModel m_model;
    barwise::ChartLook m_look;
    barwise::SecurityId m_id;
    bool m_wantLog = false;
    std::array<MarkSource, barwise::kMarkKinds> m_sources;
    std::map<Key, std::pair<int, int>> m_ranges;
    // A press on the chart: where, and the range then (a drag pans from it).
    std::optional<QPoint> m_press;
    int m_pressFirst = 0;
    bool m_dragged = false;
};

// Where the chart stands and how much of the quotes area it takes, kept in the settings
// ("Chart": "Show", "Below", "Share" in thousandths of the area).
struct ChartPlace {
    bool shown = true;
    bool below = false;
    int share = 500;
    static constexpr int kMinShare = 100;
    static constexpr int kMaxShare = 900;
    static ChartPlace Load(barwise::SettingsStore& settings);
    void Store(barwise::SettingsStore& settings) const;
};

// Puts the chart in the splitter beside (or below) what it holds, as `place` says.
void ApplyChartPlace(QSplitter& splitter, CChartWidget& chart, const ChartPlace& place);
// The place as the splitter shows it now.
ChartPlace ReadChartPlace(const QSplitter& splitter, const CChartWidget& chart);

// File > Save Chart As: asks for a .png or .svg file and writes the chart there through a
// temporary file, so a failed save leaves an earlier file of that name as it was.
void SaveChartAs(const CChartWidget& chart, barwise::UiHost& host);
// Writes the picture; an empty text on success, else what went wrong.
QString WriteChartFile(const CChartWidget& chart, const QString& path, const QSize& size);
