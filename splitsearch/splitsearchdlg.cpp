#include "splitsearch/splitsearchdlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <map>

#include "datafiles/fileio.h"
#include "splitsearch/splitscan.h"
#include "ui/commandview.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

QString FromField(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// How often a running scan lets the windows paint and take input.
constexpr qint64 kPumpIntervalMs = 30;

}  // namespace

CSplitSearchDlg::CSplitSearchDlg(CommandView& view, UiHost& host, QWidget* parent)
    : QDialog(parent), m_view(view), m_host(host) {
    setObjectName(QStringLiteral("dlg109"));
    setWindowTitle(tr("Split Search"));
    setModal(false);

    auto* group = new QGroupBox(tr("Search Results"), this);
    m_list = new QListWidget(group);
    m_list->setObjectName(QStringLiteral("ctl1023"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    const QFontMetrics fm = fontMetrics();
    m_list->setMinimumSize(48 * fm.averageCharWidth(), 12 * fm.height());
    m_noticesLabel = new QLabel(tr("Skipped symbols:"), group);
    m_notices = new QListWidget(group);
    m_notices->setObjectName(QStringLiteral("notices"));
    m_notices->setSelectionMode(QAbstractItemView::NoSelection);
    // A notice names the file and the reason: shown whole, over as many lines as it takes.
    m_notices->setWordWrap(true);
    m_notices->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_notices->setResizeMode(QListView::Adjust);
    m_notices->setMinimumHeight(4 * fm.height());
    // Shown once a search skips a symbol.
    m_noticesLabel->hide();
    m_notices->hide();
    m_status = new QLabel(group);
    m_status->setObjectName(QStringLiteral("ctl1028"));
    m_status->setTextFormat(Qt::PlainText);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_list, 3);
    groupLayout->addWidget(m_noticesLabel);
    groupLayout->addWidget(m_notices, 1);
    groupLayout->addWidget(m_status);

    m_search = new QPushButton(tr("Search"), this);
    m_search->setObjectName(QStringLiteral("ctl1024"));
    m_search->setDefault(true);
    m_saveAs = new QPushButton(tr("Save As..."), this);
    m_saveAs->setObjectName(QStringLiteral("ctl3"));
    m_saveAs->setEnabled(false);
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("ctl2"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_saveAs);
    buttons->addWidget(close);
    buttons->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(group, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(
        new QLabel(tr("Search results should be confirmed before editing data."), this));

    connect(m_search, &QPushButton::clicked, this, &CSplitSearchDlg::OnSearch);
    connect(m_saveAs, &QPushButton::clicked, this, &CSplitSearchDlg::OnSaveAs);
    connect(close, &QPushButton::clicked, this, &CSplitSearchDlg::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OnShowLine(m_list->row(item)); });
    if (parent) parent->window()->installEventFilter(this);
}

bool CSplitSearchDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && m_searching && parentWidget() &&
        watched == parentWidget()->window()) {
        // The window would take this one with it while the scan still uses it.
        m_stop = true;
        m_closeMainWhenStopped = true;
        event->ignore();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

CSplitSearchDlg::~CSplitSearchDlg() = default;

void CSplitSearchDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_placed) return;
    m_placed = true;
    // The centre of the screen, the window's size unchanged.
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}

QStringList CSplitSearchDlg::Lines() const {
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i) out << m_list->item(i)->text();
    return out;
}

QStringList CSplitSearchDlg::Notices() const {
    QStringList out;
    for (int i = 0; i < m_notices->count(); ++i) out << m_notices->item(i)->text();
    return out;
}

QString CSplitSearchDlg::StatusText() const {
    return m_status->text();
}

void CSplitSearchDlg::SetStatus(const std::string& text) {
    m_status->setText(FromField(text.substr(0, kMaxStatus)));
}

void CSplitSearchDlg::Pump(bool force) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!force && now - m_lastPump < kPumpIntervalMs) return;
    m_lastPump = now;
    QCoreApplication::processEvents();
}

void CSplitSearchDlg::AddLine(const std::string& line, Hit hit) {
    m_lines.push_back(line);
    m_hits.push_back(std::move(hit));
    m_list->addItem(FromField(line));
    m_saveAs->setEnabled(true);
    emit CandidatesChanged();
}

std::vector<CSplitSearchDlg::Candidate> CSplitSearchDlg::CandidatesFor(const SecurityId& id) const {
    std::vector<Candidate> out;
    for (std::size_t i = 0; i < m_hits.size(); ++i)
        if (m_hits[i].id == id) out.push_back({m_hits[i].date, FromField(m_lines[i])});
    return out;
}

void CSplitSearchDlg::AddNotice(const std::string& message) {
    // One line: the message's lines joined by blanks.
    QString line = FromField(message);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_notices->addItem(line);
    m_notices->scrollToBottom();
    m_noticesLabel->show();
    m_notices->show();
}

void CSplitSearchDlg::OnSearch() {
    if (m_searching) {
        // The button reads Stop while a search runs: end it before the next symbol.
        m_stop = true;
        return;
    }
    // The securities of the symbols grid, each by the entry its row stands for.
    std::vector<SplitTarget> targets;
    std::map<std::string, MasterFile> masters;
    std::vector<std::string> missing;
    for (const SymbolSelection& row : m_view.Symbols()) {
        auto it = masters.find(row.id.directory);
        if (it == masters.end())
            it = masters.emplace(row.id.directory, ReadMasterFile(row.id.directory)).first;
        const MasterFile& master = it->second;
        // The entry of the same index file, record number and file number: MASTER record k
        // and XMASTER record k are different securities.
        const MasterEntry* entry = nullptr;
        if (master.status == kSuccess) {
            for (const MasterEntry& e : master.entries) {
                if (e.id.index == row.id.index && e.id.position == row.id.position &&
                    e.record.fileNumber() == row.id.fileNumber) {
                    entry = &e;
                    break;
                }
            }
        }
        if (entry) {
            // A sub-directory entry holds no quotes of its own.
            if (entry->record.isSubdirEntry()) continue;
            targets.push_back({row.symbol, row.id, entry->record});
        } else {
            missing.push_back(row.symbol);
        }
    }

    m_searching = true;
    m_stop = false;
    m_search->setText(tr("Stop"));
    int skipped = 0;
    for (const std::string& ticker : missing) {
        AddNotice(UnreadableSymbolMessage(ticker, MasterPathOf(m_view.PortfolioDir()).string(),
                                          kFileNotFound));
        ++skipped;
    }

    SplitScanObserver observer;
    observer.hit = [&](int index, SplitRatio ratio, DateCode date) {
        const SplitTarget& t = targets[static_cast<std::size_t>(index)];
        AddLine(FormatSplitLine(t.ticker, ratio, date), Hit{t.id, date, t.ticker});
    };
    observer.fewerThanTwo = [&](const std::string&, const std::string& message) {
        AddNotice(message);
        ++skipped;
    };
    observer.unreadable = [&](const std::string&, const std::string& message) {
        AddNotice(message);
        ++skipped;
    };
    observer.symbolDone = [&](const std::string& ticker, int, int) {
        SetStatus(ticker);
        Pump(false);
    };
    observer.cancelled = [&] { return m_stop; };
    SplitScanResult result;
    {
        WaitCursor wait(m_host);
        result = ScanForSplits(targets, observer);
    }
    m_searching = false;
    m_search->setText(tr("Search"));

    switch (result.end) {
        case SplitScanEnd::kDone:
            SetStatus(std::string(kDoneSearchStatus) +
                      (skipped > 0 ? ", " + std::to_string(skipped) + " skipped" : std::string()));
            Pump(true);
            m_host.beep(UiHost::Beep::Asterisk);
            if (!result.found) m_host.messageBox(QString::fromLatin1(kNoCandidatesMessage.data()));
            break;
        case SplitScanEnd::kReadError:
            m_host.messageBox(QString::fromLatin1(kSplitReadErrorMessage.data()) +
                              QStringLiteral("\n(%1, %2: %3)")
                                  .arg(FromField(result.failedTicker),
                                       QString::fromStdString(result.failedFile),
                                       QString::fromLatin1(DataStatusName(result.status).data())));
            break;
        case SplitScanEnd::kNoStorage:
            m_host.messageBox(QString::fromLatin1(kTooManyBarsMessage.data()));
            break;
        case SplitScanEnd::kCancelled:
            SetStatus("Search stopped");
            break;
    }
    if (m_closeMainWhenStopped && parentWidget()) {
        QWidget* main = parentWidget()->window();
        reject();
        main->close();
        return;
    }
    if (m_closeWhenStopped) reject();
}

void CSplitSearchDlg::OnSaveAs() {
    const QString path =
        m_host.saveFileName(QStringLiteral("result"), QStringLiteral("txt"),
                            QStringLiteral("Text Files (*.txt);; All Files (*.*)"), 0);
    if (path.isEmpty()) return;
    std::string text;
    for (const std::string& line : m_lines) text += line + "\r\n";
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (WriteFileChecked(RealFileSystem(), fs::path(path.toStdString()), bytes) != kSuccess) {
        m_host.messageBox(QStringLiteral("The search results could not be saved to\n%1").arg(path),
                          UiHost::Buttons::Ok, UiHost::Icon::Stop);
    }
}

void CSplitSearchDlg::OnShowLine(int row) {
    if (row < 0 || row >= static_cast<int>(m_hits.size())) return;
    const Hit& hit = m_hits[static_cast<std::size_t>(row)];
    if (!m_view.ShowSecurityQuote(hit.id, hit.date)) {
        m_host.messageBox(QStringLiteral("%1 is no longer listed where the search found it.")
                              .arg(FromField(hit.ticker)));
        return;
    }
    if (QWidget* main = parentWidget()) {
        main->window()->raise();
        main->window()->activateWindow();
    }
}

void CSplitSearchDlg::reject() {
    if (m_searching) {
        // Stop before the next symbol; the Search handler closes the window then.
        m_stop = true;
        m_closeWhenStopped = true;
        return;
    }
    m_view.SetSplitSearchOpen(false);
    QDialog::reject();
    deleteLater();
}

CSplitSearchDlg* OpenSplitSearch(CommandView& view, UiHost& host, QWidget* parent) {
    if (view.SplitSearchOpen()) return nullptr;
    view.SetSplitSearchOpen(true);
    auto* window = new CSplitSearchDlg(view, host, parent);
    window->show();
    return window;
}
