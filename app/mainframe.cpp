#include "app/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/barwiseview.h"
#include "app/commandenabling.h"
#include "app/commandids.h"
#include "app/portfoliopane.h"
#include "check/checkdlg.h"
#include "commands/datafacts/datafactscommand.h"
#include "commands/quotes/quotecommands.h"
#include "commands/symbols/symbolcommands.h"
#include "export/exportdlg.h"
#include "import/importdlg.h"
#include "splitsearch/splitsearchdlg.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"
#include "undo/undocommands.h"

using namespace barwise;

namespace {

struct CommandEntry {
    int id;
    const char* text;  // menu text with its mnemonic
    const char* icon;  // toolbar picture, or null for a command without a button
};

constexpr CommandEntry kCommands[] = {
    {kCmdAppExit, "E&xit", "exit"},
    {kCmdViewToolbar, "&Toolbar", nullptr},
    {kCmdViewStatusBar, "&Status Bar", nullptr},
    {kCmdSplitSearch, "&Split Search...", "splitsearch"},
    {kCmdPortfolioCheck, "&Check...", nullptr},
    {kCmdSearchFilter, "Search &Filter...", "filter"},
    {kCmdRescan, "&ReScan\tF5", "rescan"},
    {kCmdSymbolDelete, "&Delete", "symboldelete"},
    {kCmdSymbolMove, "&Move...", "symbolmove"},
    {kCmdSymbolCopy, "&Copy...", "symbolcopy"},
    {kCmdSymbolEdit, "&Edit...", "symboledit"},
    {kCmdSymbolAbout, "&About...", "datafacts"},
    {kCmdQuoteEdit, "&Edit...", "quoteedit"},
    {kCmdQuoteSplit, "&Split...", "quotesplit"},
    {kCmdQuoteAdjust, "Adju&st...", "quoteadjust"},
    {kCmdQuoteAdd, "&Add...", "quoteadd"},
    {kCmdQuoteDelete, "&Delete...", "quotedelete"},
    {kCmdExport, "E&xport...", "export"},
    {kCmdImport, "&Import...", nullptr},
    {kCmdHelpTopics, "&Help Topics", nullptr},
    {kCmdAppAbout, "&About Barwise...", "about"},
    {kCmdViewChart, "&Chart", nullptr},
    {kCmdSaveChart, "Save C&hart As...", nullptr},
    {kCmdEditUndo, "&Undo", nullptr},
    {kCmdEditRedo, "&Redo", nullptr},
};

constexpr int kSeparator = 0;

// The popups of the menu bar; 0 stands for a separator.
struct PopupEntry {
    const char* title;
    std::initializer_list<int> items;
};
const PopupEntry kPopups[] = {
    {"&Barwise", {kCmdSaveChart, kSeparator, kCmdAppExit}},
    {"&Edit", {kCmdEditUndo, kCmdEditRedo}},
    {"&View", {kCmdViewToolbar, kCmdViewStatusBar, kCmdViewChart}},
    {"&Portfolio", {kCmdSplitSearch, kCmdPortfolioCheck, kCmdSearchFilter, kCmdRescan}},
    {"&Symbol",
     {kCmdSymbolDelete, kCmdSymbolMove, kCmdSymbolCopy, kSeparator, kCmdSymbolEdit,
      kCmdSymbolAbout}},
    {"&Quotes",
     {kCmdQuoteEdit, kCmdQuoteSplit, kCmdQuoteAdjust, kSeparator, kCmdQuoteAdd, kCmdQuoteDelete,
      kSeparator, kCmdExport, kCmdImport}},
    {"&Help", {kCmdHelpTopics, kSeparator, kCmdAppAbout}},
};

// The toolbar, left to right; 0 stands for a separator.
constexpr int kToolBar[] = {
    kCmdAppExit,     kSeparator,       kCmdSplitSearch, kCmdSearchFilter, kCmdRescan,
    kSeparator,      kCmdSymbolDelete, kCmdSymbolMove,  kCmdSymbolCopy,   kCmdSymbolEdit,
    kCmdSymbolAbout, kSeparator,       kCmdQuoteEdit,   kCmdQuoteSplit,   kCmdQuoteAdjust,
    kCmdQuoteAdd,    kCmdQuoteDelete,  kCmdExport,      kSeparator,       kCmdAppAbout,
};
static_assert(std::size(kToolBar) == 20);

const QString kScreen = QStringLiteral("Screen");

// Commands that act on what is selected in the view.
bool ActsOnSelection(int id) {
    switch (id) {
        case kCmdAppExit:
        case kCmdViewToolbar:
        case kCmdViewStatusBar:
        case kCmdHelpTopics:
        case kCmdAppAbout:
        case kCmdViewChart:
            return false;
        default:
            return true;
    }
}

}  // namespace

CMainFrame::CMainFrame(SettingsStore& settings, UiHost& host, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_host(host) {
    setObjectName(QStringLiteral("frame"));
    setWindowTitle(QStringLiteral("Barwise"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/barwise.svg")));

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    const WindowPlacement p = RestorePlacement(m_settings, screenSize.width(), screenSize.height());
    move(p.x, p.y);
    resize(p.cx, p.cy);

    m_view = new CBarwiseView(m_settings, m_host);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_view);
    setCentralWidget(m_scroll);

    CreateActions();
    // A symbol chosen with the keyboard may still be waiting for its quotes; a command
    // acts on what the user sees selected, so they are shown before any handler runs
    // (these connections come before every handler's).
    for (const auto& [id, action] : m_actions)
        if (ActsOnSelection(id))
            connect(action, &QAction::triggered, m_view, &CBarwiseView::SettleSelection);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    m_updateTimer = new QTimer(this);
    m_updateTimer->setSingleShot(true);
    m_updateTimer->setInterval(0);
    connect(m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    // The view tells every change the command states and the panes depend on.
    connect(m_view, &CBarwiseView::StateChanged, this, &CMainFrame::ScheduleUpdate);

    connect(Action(kCmdAppExit), &QAction::triggered, this, &QWidget::close);
    connect(Action(kCmdViewToolbar), &QAction::toggled, m_toolBar, &QWidget::setVisible);
    connect(Action(kCmdViewStatusBar), &QAction::toggled, statusBar(), &QWidget::setVisible);
    connect(Action(kCmdSearchFilter), &QAction::triggered, &m_view->PortfolioPane(),
            &CPortfolioPane::OnSearchFilter);
    connect(Action(kCmdRescan), &QAction::triggered, &m_view->PortfolioPane(),
            &CPortfolioPane::ScanDrive);
    connect(Action(kCmdSymbolAbout), &QAction::triggered, m_view,
            [this] { ShowDataFacts(*m_view, m_host); });
    connect(Action(kCmdSymbolEdit), &QAction::triggered, m_view,
            [this] { OnSymbolEdit(*m_view, m_host); });
    connect(Action(kCmdSymbolDelete), &QAction::triggered, m_view,
            [this] { OnSymbolDelete(*m_view, m_host); });
    connect(Action(kCmdSymbolMove), &QAction::triggered, m_view,
            [this] { OnSymbolMove(*m_view, m_host, true); });
    connect(Action(kCmdSymbolCopy), &QAction::triggered, m_view,
            [this] { OnSymbolMove(*m_view, m_host, false); });
    connect(Action(kCmdSplitSearch), &QAction::triggered, m_view, [this] {
        if (CSplitSearchDlg* window = OpenSplitSearch(*m_view, m_host, this))
            FollowSplitSearch(window);
    });
    connect(Action(kCmdPortfolioCheck), &QAction::triggered, m_view, [this] {
        CCheckDlg* check = OpenPortfolioCheck(*m_view, m_host, this);
        connect(m_view, &CBarwiseView::SecuritySelected, check, &CCheckDlg::OnViewChanged);
        FollowCheck(check);
    });
    connect(Action(kCmdHelpTopics), &QAction::triggered, this, &CMainFrame::OnHelpTopics);
    connect(Action(kCmdEditUndo), &QAction::triggered, m_view,
            [this] { OnUndo(*m_view, m_host, false); });
    connect(Action(kCmdEditRedo), &QAction::triggered, m_view,
            [this] { OnUndo(*m_view, m_host, true); });
    {
        auto quotes = std::make_shared<CQuoteCommands>(*m_view, m_host, m_settings);
        connect(Action(kCmdQuoteEdit), &QAction::triggered, this,
                [quotes] { quotes->OnQuoteEdit(); });
        connect(Action(kCmdQuoteSplit), &QAction::triggered, this,
                [quotes] { quotes->OnQuoteSplit(); });
        connect(Action(kCmdQuoteAdjust), &QAction::triggered, this,
                [quotes] { quotes->OnQuoteAdjust(); });
        connect(Action(kCmdQuoteDelete), &QAction::triggered, this,
                [quotes] { quotes->OnQuoteDelete(); });
        connect(Action(kCmdQuoteAdd), &QAction::triggered, this,
                [quotes] { quotes->OnQuoteAdd(); });
        connect(Action(kCmdExport), &QAction::triggered, this,
                [this] { OnExport(*m_view, m_host, m_settings); });
        connect(Action(kCmdImport), &QAction::triggered, this,
                [this] { OnImport(*m_view, m_host); });
        // On a quote row, Enter or a double-click edits it and Delete deletes it (each only
        // while its command is available).
        QTableView* grid = m_view->QuoteGrid();
        const auto run = [this](int id) {
            UpdateCommandUI();
            Action(id)->trigger();
        };
        connect(grid, &QTableView::doubleClicked, this, [run] { run(kCmdQuoteEdit); });
        for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
            auto* shortcut = new QShortcut(key, grid, nullptr, nullptr, Qt::WidgetShortcut);
            connect(shortcut, &QShortcut::activated, this, [run] { run(kCmdQuoteEdit); });
        }
        auto* del =
            new QShortcut(QKeySequence(Qt::Key_Delete), grid, nullptr, nullptr, Qt::WidgetShortcut);
        connect(del, &QShortcut::activated, this, [run] { run(kCmdQuoteDelete); });
    }
    connect(Action(kCmdAppAbout), &QAction::triggered, this, [this] {
        if (m_onAbout) m_onAbout();
    });
    AttachChart();

    UpdateCommandUI();
    m_placed = true;
}

CMainFrame::~CMainFrame() = default;

WindowPlacement CMainFrame::RestorePlacement(SettingsStore& settings, int w, int h) {
    WindowPlacement p;
    p.x = settings.GetProfileInt(kScreen, QStringLiteral("x"), 0);
    p.y = settings.GetProfileInt(kScreen, QStringLiteral("y"), 0);
    p.cx = settings.GetProfileInt(kScreen, QStringLiteral("cx"), 0);
    p.cy = settings.GetProfileInt(kScreen, QStringLiteral("cy"), 0);
    if (IsUsablePlacement(p, w, h)) return p;
    p = DefaultPlacement(w, h);
    settings.WriteProfileInt(kScreen, QStringLiteral("x"), p.x);
    settings.WriteProfileInt(kScreen, QStringLiteral("y"), p.y);
    settings.WriteProfileInt(kScreen, QStringLiteral("cx"), p.cx);
    settings.WriteProfileInt(kScreen, QStringLiteral("cy"), p.cy);
    return p;
}

void CMainFrame::CreateActions() {
    for (const CommandEntry& c : kCommands) {
        auto* action = new QAction(QString::fromLatin1(c.text), this);
        action->setData(c.id);
        action->setObjectName(QStringLiteral("cmd%1").arg(c.id));
        const QString prompt = QString::fromLatin1(
            CommandPrompt(c.id).data(), static_cast<qsizetype>(CommandPrompt(c.id).size()));
        const qsizetype nl = prompt.indexOf(QLatin1Char('\n'));
        action->setStatusTip(prompt.left(nl));
        action->setToolTip(nl < 0 ? prompt : prompt.mid(nl + 1));
        if (c.icon)
            action->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(c.icon))));
        m_actions[c.id] = action;
        addAction(action);
    }
    Action(kCmdRescan)->setShortcut(QKeySequence(Qt::Key_F5));
    Action(kCmdHelpTopics)->setShortcut(QKeySequence(Qt::Key_F1));
    Action(kCmdEditUndo)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Action(kCmdEditRedo)
        ->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    for (int id : {kCmdViewToolbar, kCmdViewStatusBar}) {
        Action(id)->setCheckable(true);
        Action(id)->setChecked(true);
    }
}

QAction* CMainFrame::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    for (const PopupEntry& popup : kPopups) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popup.title));
        for (int id : popup.items) {
            if (id == kSeparator)
                menu->addSeparator();
            else
                menu->addAction(Action(id));
        }
        // A menu opened during the keyboard pause shows the states of the symbol selected.
        connect(menu, &QMenu::aboutToShow, m_view, &CBarwiseView::SettleSelection);
        if (popup.items.size() > 0 && *popup.items.begin() == kCmdEditUndo)
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateUndoTexts);
    }
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(tr("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("ctl59392"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : kToolBar) {
        if (id == kSeparator)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(Action(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // Hiding the toolbar from its own context menu keeps the View menu's check in step.
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isMinimized() && isVisible()) Action(kCmdViewToolbar)->setChecked(visible);
    });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("ctl59393"));
    m_idlePane = new QLabel(IdleText(), bar);
    m_idlePane->setObjectName(QStringLiteral("pane0"));
    bar->addWidget(m_idlePane, 1);
    // The selected security's whole name, its quote file and its index file; it takes the
    // room the help text leaves.
    m_securityPane = new QLabel(bar);
    m_securityPane->setObjectName(QStringLiteral("pane3"));
    m_securityPane->setTextFormat(Qt::PlainText);
    bar->addWidget(m_securityPane, 2);

    const auto makePane = [&](const char* name, const QString& widest) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QString::fromLatin1(name));
        pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(widest) + 8);
        bar->addPermanentWidget(pane);
        return pane;
    };
    m_symbolPane = makePane("pane1", QStringLiteral("Symbols: xxxxxxxxxxxxxxxx"));
    m_quotePane = makePane("pane2", QStringLiteral("Quotes: xxxxxxxxxxxxxxxx"));
    m_view->SetProgressPlace(bar, m_idlePane);
}

QString CMainFrame::IdleText() const {
    return QStringLiteral("For Help, press F1");
}
QString CMainFrame::SecurityPaneText() const {
    return m_securityPane->text();
}
QString CMainFrame::SymbolPaneText() const {
    return m_symbolPane->text();
}
QString CMainFrame::QuotePaneText() const {
    return m_quotePane->text();
}

void CMainFrame::ScheduleUpdate() {
    // A search that starts takes the commands away at once, before any event goes by.
    if (m_view->Scanning())
        UpdateCommandUI();
    else
        m_updateTimer->start();
}

void CMainFrame::UpdateCommandUI() {
    const ViewState state = m_view->State();
    const bool scanning = m_view->Scanning();
    for (const auto& [id, action] : m_actions)
        action->setEnabled(!scanning && IsCommandEnabled(id, state));
    Action(kCmdSaveChart)->setEnabled(!scanning && ChartHasQuotes());
    UpdateUndoTexts();
    m_securityPane->setText(m_view->SecurityPaneText());
    m_symbolPane->setText(m_view->SymbolPaneText());
    m_quotePane->setText(m_view->QuotePaneText());
}

void CMainFrame::UpdateUndoTexts() {
    // The command line may have changed the history since: it is read each time.
    const UndoMenuState undo = UndoMenuStateFor(m_view->PortfolioDir());
    const bool scanning = m_view->Scanning();
    Action(kCmdEditUndo)->setText(undo.undoText);
    Action(kCmdEditUndo)->setEnabled(!scanning && undo.canUndo);
    Action(kCmdEditRedo)->setText(undo.redoText);
    Action(kCmdEditRedo)->setEnabled(!scanning && undo.canRedo);
}

void CMainFrame::SavePlacement() {
    if (!m_placed || isMinimized() || !isVisible()) return;
    const WindowPlacement p = PlacementToStore(x(), y(), width(), height());
    const SettingsStore::Batch batch(m_settings);
    m_settings.WriteProfileInt(kScreen, QStringLiteral("x"), p.x);
    m_settings.WriteProfileInt(kScreen, QStringLiteral("y"), p.y);
    m_settings.WriteProfileInt(kScreen, QStringLiteral("cx"), p.cx);
    m_settings.WriteProfileInt(kScreen, QStringLiteral("cy"), p.cy);
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    SavePlacement();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    SavePlacement();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    {
        const SettingsStore::Batch batch(m_settings);  // one write of the file
        m_view->SaveColumnWidths();
        StoreChartPlace();
    }
    if (m_help) m_help->close();
    event->accept();
}

void CMainFrame::OnHelpTopics() {
    if (!m_help) {
        auto* help = new QDialog(this);
        help->setObjectName(QStringLiteral("help"));
        help->setWindowTitle(tr("Barwise Help"));
        auto* browser = new QTextBrowser(help);
        browser->setOpenExternalLinks(false);
        browser->setSource(QUrl(QStringLiteral("qrc:/help/barwise.html")));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, help);
        connect(buttons, &QDialogButtonBox::rejected, help, &QDialog::close);
        auto* layout = new QVBoxLayout(help);
        layout->addWidget(browser);
        layout->addWidget(buttons);
        help->resize(560, 480);
        m_help = help;
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}
