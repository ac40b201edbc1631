#include "check/checkdlg.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <map>
#include <optional>

#include "check/checkrepair.h"
#include "datafiles/fileio.h"
#include "ui/commandview.h"
#include "ui/uihost.h"
#include "undo/undoable.h"

using namespace barwise;

namespace {

QString FromField(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// How often a running check lets the windows paint and take input.
constexpr qint64 kPumpIntervalMs = 30;

QString ClassTitle(FindingClass cls) {
    switch (cls) {
        case FindingClass::kDamage:
            return QObject::tr("Damage");
        case FindingClass::kSuspect:
            return QObject::tr("Suspect data");
        case FindingClass::kLeftover:
            return QObject::tr("Leftover");
    }
    return {};
}

}  // namespace

namespace barwise {

void CheckFindingsModel::setFindings(std::vector<Finding> findings) {
    beginResetModel();
    m_findings = std::move(findings);
    endResetModel();
}

int CheckFindingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_findings.size());
}

int CheckFindingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CheckFindingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Finding& f = m_findings[static_cast<std::size_t>(index.row())];
    if (role == kSortRole) {
        switch (index.column()) {
            // Grouped by class; within a class, in the order found.
            case kClass:
                return static_cast<qlonglong>(static_cast<int>(f.cls)) * 10000000LL + index.row();
            case kWhere:
                return f.quote >= 0 ? static_cast<qlonglong>(f.quote) + 1000000LL
                                    : static_cast<qlonglong>(f.record);
            default:
                return data(index, Qt::DisplayRole);
        }
    }
    if (role == Qt::ToolTipRole) return FromField(FindingLine(f));
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kClass:
            return ClassTitle(f.cls) + (IsRepairable(f) ? QObject::tr(" (repairable)") : QString());
        case kFile:
            return FromField(f.file);
        case kSecurity:
            return FromField(f.symbol);
        case kWhere:
            return FromField(FindingPlace(f));
        case kProblem:
            return FromField(f.what);
        case kExpected:
            return FromField(f.expected);
        case kFound:
            return FromField(f.found);
        default:
            return {};
    }
}

QVariant CheckFindingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kClass:
            return tr("Class");
        case kFile:
            return tr("File");
        case kSecurity:
            return tr("Security");
        case kWhere:
            return tr("Where");
        case kProblem:
            return tr("Problem");
        case kExpected:
            return tr("Expected");
        case kFound:
            return tr("Found");
        default:
            return {};
    }
}

}  // namespace barwise

CCheckDlg::CCheckDlg(CommandView& view, UiHost& host, QWidget* parent)
    : QDialog(parent), m_view(view), m_host(host) {
    setObjectName(QStringLiteral("checkPortfolio"));
    setWindowTitle(tr("Check Portfolio"));
    setModal(false);

    m_portfolio = new QLabel(this);
    m_portfolio->setObjectName(QStringLiteral("portfolio"));
    m_portfolio->setTextFormat(Qt::PlainText);
    m_model = new CheckFindingsModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(CheckFindingsModel::kSortRole);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("findings"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(CheckFindingsModel::kClass, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    const QFontMetrics fm = fontMetrics();
    m_table->verticalHeader()->setDefaultSectionSize(fm.height() + 6);
    m_table->setMinimumSize(90 * fm.averageCharWidth(), 12 * fm.height());
    const int widths[] = {24, 14, 20, 30, 48, 40};
    for (int c = 0; c < 6; ++c) m_table->setColumnWidth(c, widths[c] * fm.averageCharWidth());
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);

    m_check = new QPushButton(tr("&Check"), this);
    m_check->setObjectName(QStringLiteral("check"));
    m_stop = new QPushButton(tr("S&top"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_repair = new QPushButton(tr("&Repair Selected"), this);
    m_repair->setObjectName(QStringLiteral("repair"));
    m_save = new QPushButton(tr("&Save Report..."), this);
    m_save->setObjectName(QStringLiteral("save"));
    m_close = new QPushButton(tr("Close"), this);
    m_close->setObjectName(QStringLiteral("close"));
    m_check->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_check);
    buttons->addWidget(m_stop);
    buttons->addSpacing(fm.averageCharWidth() * 2);
    buttons->addWidget(m_repair);
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto* progress = new QHBoxLayout;
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_status, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_portfolio);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
    layout->addLayout(progress);
    layout->addLayout(buttons);

    connect(m_check, &QPushButton::clicked, this, &CCheckDlg::OnCheck);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_stopAsked = true; });
    connect(m_repair, &QPushButton::clicked, this, &CCheckDlg::OnRepairSelected);
    connect(m_save, &QPushButton::clicked, this, &CCheckDlg::OnSaveReport);
    connect(m_close, &QPushButton::clicked, this, &CCheckDlg::reject);
    connect(m_table, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { OnShowRow(i.row()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateButtons(); });

    resize(190 * fm.averageCharWidth(), 34 * fm.height());
    m_directory = m_view.PortfolioDir();
    m_portfolio->setText(tr("Portfolio: %1").arg(FromField(m_directory)));
    m_status->setText(tr("Press Check to read every file of the portfolio."));
    UpdateButtons();
}

CCheckDlg::~CCheckDlg() = default;

void CCheckDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_placed) return;
    m_placed = true;
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}

QString CCheckDlg::StatusText() const {
    return m_status->text();
}

void CCheckDlg::SetChecking(bool on) {
    m_checking = on;
    UpdateButtons();
}

void CCheckDlg::UpdateButtons() {
    m_check->setEnabled(!m_checking);
    m_stop->setEnabled(m_checking);
    m_save->setEnabled(!m_checking && !m_model->findings().empty());
    bool repairable = false;
    for (const Finding& f : SelectedFindings()) repairable = repairable || IsRepairable(f);
    m_repair->setEnabled(!m_checking && repairable);
}

std::vector<Finding> CCheckDlg::SelectedFindings() const {
    std::vector<Finding> out;
    if (!m_table->selectionModel()) return out;
    for (const QModelIndex& i : m_table->selectionModel()->selectedRows()) {
        const int row = m_proxy->mapToSource(i).row();
        if (row >= 0 && row < static_cast<int>(m_model->findings().size()))
            out.push_back(m_model->findings()[static_cast<std::size_t>(row)]);
    }
    return out;
}

void CCheckDlg::OnCheck() {
    if (m_checking) return;
    m_directory = m_view.PortfolioDir();
    m_portfolio->setText(tr("Portfolio: %1").arg(FromField(m_directory)));
    if (m_directory.empty() && m_view.MasterPath().empty()) {
        m_status->setText(tr("No portfolio is shown."));
        return;
    }
    m_stopAsked = false;
    SetChecking(true);
    m_status->setText(tr("Checking..."));
    qint64 lastPump = 0;
    CheckObserver observer;
    observer.progress = [&](int done, int total) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - lastPump < kPumpIntervalMs && done != total) return;
        lastPump = now;
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(done);
        m_status->setText(tr("Checking: %1 of %2 securities").arg(done).arg(total));
        QCoreApplication::processEvents();
    };
    observer.cancelled = [&] { return m_stopAsked; };
    CheckReport report = CheckPortfolio(m_directory, CheckOptions{}, observer);
    const std::size_t count = report.findings.size();
    m_model->setFindings(std::move(report.findings));
    emit FindingsChanged();
    m_table->sortByColumn(m_table->horizontalHeader()->sortIndicatorSection(),
                          m_table->horizontalHeader()->sortIndicatorOrder());
    SetChecking(false);
    int classes[3] = {0, 0, 0};
    for (const Finding& f : m_model->findings()) ++classes[static_cast<int>(f.cls)];
    m_summary->setText(tr("%1 damage, %2 suspect data, %3 leftover")
                           .arg(classes[0])
                           .arg(classes[1])
                           .arg(classes[2]));
    if (report.status != kSuccess) {
        m_status->setText(
            tr("%1: %2").arg(FromField(report.masterFile.empty() ? m_directory : report.masterFile),
                             QString::fromLatin1(DataStatusName(report.status).data())));
    } else if (report.cancelled) {
        m_status->setText(tr("Stopped: %1 findings so far").arg(count));
    } else {
        m_progress->setValue(m_progress->maximum());
        m_status->setText(
            count == 0
                ? tr("Done: the portfolio is clean")
                : tr("Done: %1 findings in %2 securities").arg(count).arg(report.securities));
    }
    UpdateButtons();
    if (m_closeWhenStopped) QDialog::reject();
}

// Asks the symbol and name a data file no record lists is added under; nothing when the
// user declines.
static std::optional<SecurityNames> AskNames(UiHost& host, QWidget* parent, const Finding& f) {
    const SecurityNames suggested = SuggestedNames(f);
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("newSecurityFromFile"));
    dialog.setWindowTitle(QObject::tr("New Security"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QObject::tr("No record lists %1. Add it as a new security:").arg(FromField(f.file))));
    auto* form = new QFormLayout;
    auto* symbol = new QLineEdit(QString::fromStdString(suggested.symbol));
    auto* name = new QLineEdit(QString::fromStdString(suggested.name));
    symbol->setObjectName(QStringLiteral("symbol"));
    name->setObjectName(QStringLiteral("name"));
    form->addRow(QObject::tr("&Symbol:"), symbol);
    form->addRow(QObject::tr("&Name:"), name);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    symbol->selectAll();
    if (!host.runDialog(dialog)) return std::nullopt;
    return SecurityNames{symbol->text().trimmed().toStdString(),
                         name->text().trimmed().toStdString()};
}

void CCheckDlg::OnRepairSelected() {
    if (m_checking) return;
    std::vector<Finding> chosen;
    for (const Finding& f : SelectedFindings())
        if (IsRepairable(f)) chosen.push_back(f);
    if (chosen.empty()) return;
    const QString question =
        (chosen.size() == 1 ? tr("Repair the selected finding?")
                            : tr("Repair %1 selected findings?").arg(chosen.size())) +
        tr("\n\nEvery file changed is kept as its .BAK backup first.");
    if (m_host.messageBox(question, UiHost::Buttons::YesNo, UiHost::Icon::Question) !=
        UiHost::Answer::Yes)
        return;
    // The names of new securities are asked before anything is written.
    std::map<std::string, std::optional<SecurityNames>> names;
    for (const Finding& f : chosen)
        if (f.kind == FindingKind::kUnlistedDataFile)
            names[f.directory + "/" + f.file] = AskNames(m_host, this, f);
    RepairOutcome outcome;
    {
        WaitCursor wait(m_host);
        UndoableChange change(m_directory);
        outcome = RepairFindings(chosen, change.fs(), [&names](const Finding& f) {
            return names[f.directory + "/" + f.file];
        });
        if (const DataStatus kept = change.commit(RepairLabel(chosen.size())); kept != kSuccess)
            m_host.messageBox(FromField(NotUndoableMessage(kept)), UiHost::Buttons::Ok,
                              UiHost::Icon::Warning);
    }
    m_lastChanges = outcome.result.changes;
    if (!outcome.failures.empty()) {
        QString text = tr("Some repairs were not made; their files are as they were:");
        for (const std::string& line : outcome.failures)
            text += QStringLiteral("\n") + FromField(line);
        m_host.messageBox(text, UiHost::Buttons::Ok, UiHost::Icon::Warning);
    }
    // The main window shows the files as they are now.
    if (!outcome.result.changes.empty())
        m_view.RefillSymbols(std::max(m_view.SelectedSymbolRow(), 0));
    OnCheck();
}

void CCheckDlg::OnSaveReport() {
    if (m_model->findings().empty()) return;
    const QString path = m_host.saveFileName(QStringLiteral("check.txt"), QStringLiteral("txt"),
                                             tr("Text files (*.txt);;All files (*)"), 0);
    if (path.isEmpty()) return;
    std::string text = "Check of " + m_directory + "\r\n";
    for (const Finding& f : m_model->findings()) {
        text += FindingLine(f) + "\r\n";
        if (const std::string hint = EditQuoteHint(f); !hint.empty() && !IsRepairable(f))
            text += "    to edit: barwise-cli " + hint + "\r\n";
    }
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    const QByteArray local = QFile::encodeName(path);
    if (WriteFileChecked(RealFileSystem(), fs::path(local.toStdString()), bytes) != kSuccess)
        m_host.messageBox(tr("The report could not be written to %1.").arg(path));
}

void CCheckDlg::OnShowRow(int viewRow) {
    const int row = m_proxy->mapToSource(m_proxy->index(viewRow, 0)).row();
    if (row < 0 || row >= static_cast<int>(m_model->findings().size())) return;
    const Finding& f = m_model->findings()[static_cast<std::size_t>(row)];
    if (!f.id.valid()) return;
    if (!m_view.ShowSecurityQuote(f.id, f.date)) {
        m_host.messageBox(
            tr("%1 is no longer listed where the check found it.").arg(FromField(f.symbol)));
        return;
    }
    if (QWidget* main = parentWidget()) {
        main->window()->raise();
        main->window()->activateWindow();
    }
}

void CCheckDlg::OnViewChanged() {
    if (m_checking) return;
    const std::string shown = m_view.PortfolioDir();
    if (shown == m_directory) {
        m_portfolio->setText(tr("Portfolio: %1").arg(FromField(m_directory)));
        return;
    }
    m_portfolio->setText(
        m_model->findings().empty()
            ? tr("Portfolio: %1").arg(FromField(shown))
            : tr("Findings of %1; Check reads %2").arg(FromField(m_directory), FromField(shown)));
}

void CCheckDlg::reject() {
    if (m_checking) {
        m_stopAsked = true;
        m_closeWhenStopped = true;
        return;
    }
    QDialog::reject();
}

CCheckDlg* OpenPortfolioCheck(CommandView& view, UiHost& host, QWidget* parent) {
    auto* dlg = new CCheckDlg(view, host, parent);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    return dlg;
}
