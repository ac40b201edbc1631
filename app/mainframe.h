// The main window: menu, toolbar, status bar and the main view as its client.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>

#include "app/placement.h"

class QAction;
class QLabel;
class QScrollArea;
class QTimer;
class QToolBar;
class CBarwiseView;
class CChartWidget;
class CCheckDlg;
class CSplitSearchDlg;

namespace barwise {
class SettingsStore;
class UiHost;
}  // namespace barwise

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(barwise::SettingsStore& settings, barwise::UiHost& host, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CBarwiseView& View() { return *m_view; }
    // The price chart beside (or below) the quotes grid.
    CChartWidget& Chart() { return *m_chart; }
    barwise::UiHost& Host() { return m_host; }
    // The menu item and toolbar button of a command share this action (null for an
    // unknown id).
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    // Help > About Barwise is answered by the application.
    void SetAboutHandler(std::function<void()> handler) { m_onAbout = std::move(handler); }

    // Enables every command by the current state of the view and refreshes the panes; run
    // (deferred, once per burst) on each StateChanged of the view.
    void UpdateCommandUI();
    // The texts and states of Edit > Undo and Redo, from the shown portfolio's history.
    void UpdateUndoTexts();
    QString IdleText() const;
    QString SecurityPaneText() const;
    QString SymbolPaneText() const;
    QString QuotePaneText() const;

    // Placement on a screen of the given size: the stored one when usable, else the
    // default, which is then stored.
    static barwise::WindowPlacement RestorePlacement(barwise::SettingsStore& settings,
                                                     int screenWidth, int screenHeight);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void SavePlacement();
    void ScheduleUpdate();
    void OnHelpTopics();
    // The chart: its place, the view's selection it follows and the marks it shows.
    void AttachChart();
    void StoreChartPlace();
    bool ChartHasQuotes() const;
    void FollowSplitSearch(CSplitSearchDlg* window);
    void FollowCheck(CCheckDlg* window);

    barwise::SettingsStore& m_settings;
    barwise::UiHost& m_host;
    CBarwiseView* m_view = nullptr;
    CChartWidget* m_chart = nullptr;
    QScrollArea* m_scroll = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_idlePane = nullptr;
    QLabel* m_securityPane = nullptr;
    QLabel* m_symbolPane = nullptr;
    QLabel* m_quotePane = nullptr;
    QTimer* m_updateTimer = nullptr;
    QWidget* m_help = nullptr;
    std::map<int, QAction*> m_actions;
    std::function<void()> m_onAbout;
    bool m_placed = false;
};
