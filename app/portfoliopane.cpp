#include "app/portfoliopane.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/searchfilter.h"
#include "app/searchfilterdlg.h"
#include "app/searchprogressdlg.h"
#include "datafiles/ascii.h"
#include "discovery/masterpath.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

const std::string kNoDrive(1, '?');
constexpr int kPathRole = Qt::UserRole;

// Paths and drive names as the system gives them (UTF-8).
QString FromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

std::string CurrentDirectory() {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    return ec ? std::string() : cwd.string();
}

std::string PortfolioPath(const QListWidgetItem* item) {
    return item->data(kPathRole).toByteArray().toStdString();
}

}  // namespace

CPortfolioPane::CPortfolioPane(SettingsStore& settings, UiHost& host, QWidget* parent)
    : QGroupBox(tr("Portfolios"), parent),
      m_settings(settings),
      m_host(host),
      m_listDrives([] { return ListDrives(); }) {
    m_searchLimit =
        m_settings.GetProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 1) != 0;
    m_searchName = m_settings
                       .GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"),
                                         FromUtf8(CurrentDirectory()))
                       .toStdString();
    m_searchNameUpper = ToUpperAscii(m_searchName);

    const QFontMetrics fm = fontMetrics();
    m_driveCombo = new QComboBox(this);
    m_driveCombo->setObjectName(QStringLiteral("ctl1000"));
    m_driveCombo->setMinimumWidth(96 * fm.averageCharWidth() / 4);
    m_driveCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_portfolioList = new QListWidget(this);
    m_portfolioList->setObjectName(QStringLiteral("ctl1001"));
    m_portfolioList->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* layout = new QVBoxLayout(this);
    auto* comboRow = new QHBoxLayout;
    comboRow->addWidget(m_driveCombo);
    comboRow->addStretch(1);
    layout->addLayout(comboRow);
    layout->addWidget(m_portfolioList, 1);
    setTabOrder(m_driveCombo, m_portfolioList);

    connect(m_driveCombo, &QComboBox::activated, this, [this](int) { OnDriveChanged(); });
    connect(m_portfolioList, &QListWidget::currentRowChanged, this,
            [this](int) { OnPortfolioSelected(); });
}

CPortfolioPane::~CPortfolioPane() = default;

void CPortfolioPane::RememberDrive(const Drive& drive) {
    m_mountPoint = drive.root;
    m_settings.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Drive"),
                                  FromUtf8(DriveSettingText(drive)));
}

void CPortfolioPane::FillDriveList() {
    m_drives = m_listDrives();
    m_driveCombo->clear();
    for (const Drive& d : m_drives) m_driveCombo->addItem(FromUtf8(d.listText));

    std::string remembered =
        m_settings.GetProfileString(QStringLiteral("Settings"), QStringLiteral("Drive"), QString())
            .toStdString();
    if (remembered.empty()) {
        const Drive* current = DriveOfPath(CurrentDirectory(), m_drives);
        if (current) remembered = DriveSettingText(*current);
    }
    std::size_t index = 0;
    while (index < m_drives.size() && !DriveMatchesSetting(m_drives[index], remembered)) ++index;

    // A remembered drive that is no longer listed: the last listed drive is searched, and
    // the list shows no selection.
    if (!m_drives.empty()) RememberDrive(m_drives[std::min(index, m_drives.size() - 1)]);
    m_driveCombo->setCurrentIndex(index < m_drives.size() ? static_cast<int>(index) : -1);
    ScanDrive();
}

void CPortfolioPane::OnDriveChanged() {
    if (Scanning()) return;
    const int index = m_driveCombo->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_drives.size())) return;
    const Drive& drive = m_drives[static_cast<std::size_t>(index)];
    if (drive.root == m_mountPoint) return;
    RememberDrive(drive);
    m_portfoliosFound = false;
    ClearPortfolios();
    ScanDrive();
}

void CPortfolioPane::ClearPortfolios() {
    {
        const QSignalBlocker quiet(m_portfolioList);
        m_portfolioList->clear();
    }
    emit PortfoliosCleared();
    emit StateChanged();
}

void CPortfolioPane::PumpScanWindow(bool force) {
    // Let the progress window paint now and then and take a click on its Cancel button.
    // It is application-modal, so the main window takes no input until the search ends.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!force && now - m_lastPump < kScanPumpIntervalMs) return;
    m_lastPump = now;
    QCoreApplication::processEvents();
}

void CPortfolioPane::ScanDrive() {
    // The progress window lets events through; a shortcut that reaches the main window
    // anyway must not start a second search inside this one.
    if (Scanning()) return;
    ClearPortfolios();
    m_scanDialog = std::make_unique<CSearchProgressDlg>(window());
    m_scanDialog->Create();
    emit StateChanged();  // the frame holds every command while the search runs
    m_scanDialog->SetCountText(QStringLiteral("0"));
    m_scanDialog->SetPathText(QStringLiteral("starting..."));
    PumpScanWindow(true);

    SearchOptions options;
    options.limit = m_searchLimit;
    options.filterKeyUpper = m_searchNameUpper;
    for (const Drive& d : m_drives)
        if (d.root != m_mountPoint) options.otherVolumeRoots.push_back(d.root);
    SearchObserver observer;
    observer.visiting = [this](const std::string& path) {
        m_scanDialog->SetPathText(FromUtf8(path));
        PumpScanWindow(false);
    };
    observer.found = [this](int count) {
        m_scanDialog->SetCountText(QString::number(count));
        PumpScanWindow(true);
    };
    observer.cancelled = [this] { return m_scanDialog->Cancelled(); };
    std::vector<std::string> results;
    const bool complete = SearchDirectory(m_mountPoint, results, options, observer);

    m_host.beep(UiHost::Beep::Asterisk);
    m_scanDialog.reset();

    // A cancelled search lists what it found until then.
    if (results.empty()) {
        m_portfoliosFound = false;
        emit StateChanged();
        if (!complete) return;
        m_host.messageBox(
            QStringLiteral("No master files found on drive ") + FromUtf8(m_mountPoint) +
                QStringLiteral("\n\n(Is your Portfolio Search Filter setting correct?)"),
            UiHost::Buttons::Ok, UiHost::Icon::Information);
        return;
    }
    m_portfoliosFound = true;
    {
        const QSignalBlocker quiet(m_portfolioList);
        for (const std::string& p : SortPortfolios(std::move(results))) {
            // The path as the system gave it, whatever the encoding of its name.
            auto* item = new QListWidgetItem(FromUtf8(p), m_portfolioList);
            item->setData(kPathRole, QByteArray::fromStdString(p));
        }
        m_portfolioList->setCurrentRow(0);
    }
    emit PortfolioChosen(MasterPathIn(PortfolioPath(m_portfolioList->item(0))));
}

void CPortfolioPane::OnPortfolioSelected() {
    if (!m_portfoliosFound) return;
    const QListWidgetItem* item = m_portfolioList->currentItem();
    if (!item) return;
    emit PortfolioChosen(MasterPathIn(PortfolioPath(item)));
}

void CPortfolioPane::OnSearchFilter() {
    if (Scanning()) return;
    CSearchFilterDlg dialog(m_host, m_drives, window());
    dialog.SetData(m_searchLimit, FromUtf8(m_searchName));
    const bool oldLimit = m_searchLimit;
    const std::string oldKey = m_searchNameUpper;
    if (!m_host.runDialog(dialog)) return;

    m_searchLimit = dialog.Limit();
    m_searchName = dialog.Path().toStdString();
    m_searchNameUpper = ToUpperAscii(m_searchName);
    m_settings.WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"),
                               m_searchLimit ? 1 : 0);
    m_settings.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"),
                                  FromUtf8(m_searchName));
    if (!FilterChanged(oldLimit, oldKey, m_searchLimit, m_searchNameUpper)) return;

    // Search the drive the path names; when it names none, the current drive again.
    if (const Drive* drive = DriveOfPath(m_searchName, m_drives)) {
        const auto at = static_cast<int>(drive - m_drives.data());
        m_driveCombo->setCurrentIndex(at);
    }
    m_mountPoint = kNoDrive;
    if (m_driveCombo->currentIndex() < 0 && !m_drives.empty()) {
        // Nothing selected in the drive list: search the drive that was searched last.
        const QString kept = m_settings.GetProfileString(QStringLiteral("Settings"),
                                                         QStringLiteral("Drive"), QString());
        for (std::size_t i = 0; i < m_drives.size(); ++i)
            if (DriveMatchesSetting(m_drives[i], kept.toStdString()))
                m_driveCombo->setCurrentIndex(static_cast<int>(i));
        if (m_driveCombo->currentIndex() < 0)
            m_driveCombo->setCurrentIndex(static_cast<int>(m_drives.size()) - 1);
    }
    OnDriveChanged();
}

std::vector<std::string> CPortfolioPane::Portfolios() const {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(m_portfolioList->count()));
    for (int i = 0; i < m_portfolioList->count(); ++i)
        out.push_back(PortfolioPath(m_portfolioList->item(i)));
    return out;
}

int CPortfolioPane::CurrentPortfolio() const {
    return m_portfolioList->currentRow();
}
