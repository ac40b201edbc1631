#include "chart/chartwidget.h"

#include <QActionGroup>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "chart/chartpainter.h"
#include "export/outputfile.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

// A press that moves no farther is a click, not a drag.
constexpr int kDragDistance = 4;
constexpr double kZoomStep = 1.25;
// Pixels either side of a mark that still show its text.
constexpr int kMarkTolerance = 4;

const QString kSection = QStringLiteral("Chart");
// The share the splitter was last given, kept on the chart.
constexpr const char* kShareProperty = "chartShare";
constexpr int kShareSlack = 5;

}  // namespace

CChartWidget::CChartWidget(UiHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("chart"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_look.message = QStringLiteral("No security selected.");
}

CChartWidget::~CChartWidget() = default;

CChartWidget::Key CChartWidget::KeyOf(const SecurityId& id) {
    return {static_cast<int>(id.index), id.directory, id.position, id.fileNumber};
}

void CChartWidget::RememberRange() {
    if (m_id.valid() && m_model.barCount() > 0)
        m_ranges[KeyOf(m_id)] = {m_model.first(), m_model.visibleCount()};
}

void CChartWidget::ShowSecurity(const SecurityId& id, const QString& title) {
    const bool same = id.valid() && id == m_id;
    RememberRange();
    m_id = id;
    m_look.title = title;
    if (!id.valid()) {
        m_model.clear();
        m_look.message = QStringLiteral("No security selected.");
        UpdateNote();
        update();
        return;
    }
    SeriesQuotesRead read;
    const DataStatus status = ReadAllQuotes(id, read);
    if (status != kSuccess) {
        m_model.clear();
        m_look.message =
            QStringLiteral("The quotes of this security could not be read (%1).")
                .arg(QString::fromLatin1(DataStatusName(status).data(),
                                         static_cast<qsizetype>(DataStatusName(status).size())));
    } else {
        m_look.message =
            read.quotes.empty() ? QStringLiteral("This security has no quotes.") : QString();
        if (!same) m_model.setRange(0, 0);
        m_model.setSeries(std::move(read.quotes), read.present, read.hasTime);
        if (!same) {
            const auto it = m_ranges.find(KeyOf(id));
            if (it != m_ranges.end())
                m_model.setRange(it->second.first, it->second.second);
            else
                m_model.fitAll();
        }
        if (m_wantLog) m_model.setScale(PriceScale::kLog);
    }
    RefreshMarks();
    UpdateNote();
    update();
}

void CChartWidget::SetSelectedQuote(int position, DateCode date, TimeCode time) {
    m_model.setSelected(position, date, time);
    m_model.ensureVisible(m_model.selectedBar());
    update();
}

void CChartWidget::SetMarkSource(MarkKind kind, MarkSource source) {
    m_sources[static_cast<std::size_t>(kind)] = std::move(source);
    RefreshMarks();
}

void CChartWidget::RefreshMarks() {
    for (int k = 0; k < kMarkKinds; ++k) {
        const MarkSource& source = m_sources[static_cast<std::size_t>(k)];
        m_model.setMarks(static_cast<MarkKind>(k),
                         source && m_id.valid() ? source(m_id) : std::vector<ChartMark>{});
    }
    update();
}

void CChartWidget::SetBarStyle(BarStyle style) {
    m_look.style = style;
    update();
}

bool CChartWidget::SetLogScale(bool on) {
    m_wantLog = on;
    const bool taken = m_model.setScale(on ? PriceScale::kLog : PriceScale::kLinear);
    if (!taken) m_host.beep(UiHost::Beep::Default);
    UpdateNote();
    update();
    return taken;
}

void CChartWidget::UpdateNote() {
    m_look.note.clear();
    if (m_wantLog && m_model.scale() != PriceScale::kLog && m_model.barCount() > 0)
        m_look.note =
            QStringLiteral("Linear scale. ") + QString::fromStdString(m_model.logScaleRefusal());
}

QPoint CChartWidget::BarPoint(int bar) const {
    const ChartLayout l = LayOutChart(rect(), fontMetrics(), m_model.hasVolume());
    const int x = l.price.left() + m_model.columnOfBar(bar) + std::max(m_model.barSpan(bar), 1) / 2;
    return {x, l.price.center().y()};
}

int CChartWidget::BarAtPoint(QPoint pos) const {
    const ChartLayout l = LayOutChart(rect(), fontMetrics(), m_model.hasVolume());
    const int bottom = l.volume.isEmpty() ? l.price.bottom() : l.volume.bottom();
    if (pos.y() < l.price.top() || pos.y() > bottom) return -1;
    return m_model.barAt(l.plotX(pos.x()));
}

void CChartWidget::Render(QPaintDevice& device, const QSize& size) const {
    QPainter painter(&device);
    painter.setFont(font());
    // The widget's own model keeps its width: the picture may be another size.
    ChartModel model = m_model;
    ChartLook look = m_look;
    look.pointer.reset();
    PaintChart(painter, QRect(QPoint(0, 0), size), model, look);
}

// ----- events -----

void CChartWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintChart(painter, rect(), m_model, m_look);
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CChartWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_model.setWidth(LayOutChart(rect(), fontMetrics(), m_model.hasVolume()).price.width());
}

void CChartWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    m_press = event->position().toPoint();
    m_pressFirst = m_model.first();
    m_dragged = false;
}

void CChartWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_press && (event->buttons() & Qt::LeftButton)) {
        const int dx = pos.x() - m_press->x();
        if (std::abs(dx) >= kDragDistance) m_dragged = true;
        if (m_dragged) {
            const double bars = static_cast<double>(dx) * m_model.visibleCount() / m_model.width();
            m_model.setRange(m_pressFirst - static_cast<int>(std::lround(bars)),
                             m_model.visibleCount());
        }
    }
    m_look.pointer = pos;
    ShowMarkTip(pos, event->globalPosition().toPoint());
    update();
}

void CChartWidget::ShowMarkTip(QPoint pos, QPoint global) {
    const ChartLayout l = LayOutChart(rect(), fontMetrics(), m_model.hasVolume());
    if (!l.price.contains(pos)) {
        QToolTip::hideText();
        return;
    }
    QStringList texts;
    for (const PlacedMark& m : m_model.marksNear(l.plotX(pos.x()), kMarkTolerance))
        texts << QString::fromStdString(m.text);
    if (texts.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(global, texts.join(QLatin1Char('\n')), this);
}

void CChartWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_press) return QWidget::mouseReleaseEvent(event);
    const bool click = !m_dragged;
    m_press.reset();
    m_dragged = false;
    if (!click) return;
    const int bar = BarAtPoint(event->position().toPoint());
    if (bar < 0) return;
    RememberRange();
    emit BarClicked(bar, m_model.bar(bar).date, m_model.bar(bar).time);
}

void CChartWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    const int bar = BarAtPoint(event->position().toPoint());
    if (bar < 0) return;
    emit BarActivated(bar, m_model.bar(bar).date, m_model.bar(bar).time);
}

void CChartWidget::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    const ChartLayout l = LayOutChart(rect(), fontMetrics(), m_model.hasVolume());
    const int x = std::clamp(l.plotX(event->position().toPoint().x()), 0, m_model.width() - 1);
    m_model.zoomAt(x, std::pow(kZoomStep, steps));
    event->accept();
    update();
}

void CChartWidget::keyPressEvent(QKeyEvent* event) {
    const int middle = m_model.width() / 2;
    const int step = std::max(1, m_model.visibleCount() / 10);
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_model.zoomAt(middle, kZoomStep);
            break;
        case Qt::Key_Minus:
            m_model.zoomAt(middle, 1 / kZoomStep);
            break;
        case Qt::Key_Left:
            m_model.panBars(-step);
            break;
        case Qt::Key_Right:
            m_model.panBars(step);
            break;
        case Qt::Key_Home:
            m_model.showFirst();
            break;
        case Qt::Key_End:
            m_model.showLast();
            break;
        case Qt::Key_F:
        case Qt::Key_Asterisk:
            m_model.fitAll();
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    event->accept();
    update();
}

void CChartWidget::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_look.pointer.reset();
    update();
}

void CChartWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    auto* styles = new QActionGroup(&menu);
    QAction* bars = menu.addAction(tr("&Bars"));
    QAction* candles = menu.addAction(tr("&Candles"));
    for (QAction* a : {bars, candles}) {
        a->setCheckable(true);
        styles->addAction(a);
    }
    (m_look.style == BarStyle::kCandles ? candles : bars)->setChecked(true);
    const bool ohlc = m_model.shape() == PriceShape::kBars;
    bars->setEnabled(ohlc);
    candles->setEnabled(ohlc && m_model.has(kChartOpen) && m_model.has(kChartClose));
    menu.addSeparator();
    QAction* log = menu.addAction(tr("&Logarithmic Scale"));
    log->setCheckable(true);
    log->setChecked(m_model.scale() == PriceScale::kLog);
    menu.addSeparator();
    QAction* fit = menu.addAction(tr("&Fit All Quotes\tF"));
    QAction* beside = menu.addAction(tr("Chart Be&side Quotes"));
    QAction* below = menu.addAction(tr("Chart Be&low Quotes"));
    menu.addSeparator();
    QAction* save = menu.addAction(tr("Save Chart &As..."));
    save->setEnabled(m_model.barCount() > 0);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == bars)
        SetBarStyle(BarStyle::kBars);
    else if (chosen == candles)
        SetBarStyle(BarStyle::kCandles);
    else if (chosen == log)
        SetLogScale(log->isChecked());
    else if (chosen == fit) {
        m_model.fitAll();
        update();
    } else if (chosen == beside)
        emit PlaceRequested(false);
    else if (chosen == below)
        emit PlaceRequested(true);
    else if (chosen == save)
        emit SaveRequested();
}

// ----- place -----

ChartPlace ChartPlace::Load(SettingsStore& settings) {
    ChartPlace p;
    p.shown = settings.GetProfileInt(kSection, QStringLiteral("Show"), 1) != 0;
    p.below = settings.GetProfileInt(kSection, QStringLiteral("Below"), 0) != 0;
    const int share = settings.GetProfileInt(kSection, QStringLiteral("Share"), p.share);
    // A share that would squeeze the grid or the chart away gives way to the default.
    if (share >= kMinShare && share <= kMaxShare) p.share = share;
    return p;
}

void ChartPlace::Store(SettingsStore& settings) const {
    const SettingsStore::Batch batch(settings);
    settings.WriteProfileInt(kSection, QStringLiteral("Show"), shown ? 1 : 0);
    settings.WriteProfileInt(kSection, QStringLiteral("Below"), below ? 1 : 0);
    settings.WriteProfileInt(kSection, QStringLiteral("Share"), share);
}

void ApplyChartPlace(QSplitter& splitter, CChartWidget& chart, const ChartPlace& place) {
    if (splitter.indexOf(&chart) < 0) splitter.addWidget(&chart);
    splitter.setOrientation(place.below ? Qt::Vertical : Qt::Horizontal);
    chart.setVisible(place.shown);
    const int index = splitter.indexOf(&chart);
    QList<int> sizes = splitter.sizes();
    int total = 0;
    for (int s : sizes) total += s;
    if (total <= 0) total = 1000;
    const int chartSize = total * place.share / 1000;
    for (int i = 0; i < sizes.size(); ++i)
        sizes[i] =
            i == index ? chartSize : (total - chartSize) / std::max<qsizetype>(sizes.size() - 1, 1);
    splitter.setSizes(sizes);
    chart.setProperty(kShareProperty, place.share);
    splitter.setStretchFactor(index, place.share);
    for (int i = 0; i < splitter.count(); ++i)
        if (i != index) splitter.setStretchFactor(i, 1000 - place.share);
}

ChartPlace ReadChartPlace(const QSplitter& splitter, const CChartWidget& chart) {
    ChartPlace p;
    p.shown = !chart.isHidden();
    p.below = splitter.orientation() == Qt::Vertical;
    const int index = splitter.indexOf(const_cast<CChartWidget*>(&chart));
    const QList<int> sizes = splitter.sizes();
    int total = 0;
    for (int s : sizes) total += s;
    const int applied = chart.property(kShareProperty).toInt();
    if (applied > 0) p.share = applied;
    if (index >= 0 && total > 0 && sizes[index] > 0) {
        const int now =
            std::clamp(static_cast<int>(static_cast<qint64>(sizes[index]) * 1000 / total),
                       ChartPlace::kMinShare, ChartPlace::kMaxShare);
        // The layout rounds the sizes it was given: a pixel or two is not the user's move.
        if (applied <= 0 || std::abs(now - applied) > kShareSlack) p.share = now;
    }
    return p;
}

// ----- saving -----

QString WriteChartFile(const CChartWidget& chart, const QString& path, const QSize& size) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg"))
        return QStringLiteral("A chart is saved as a .png or an .svg file.");
    const fs::path target(QFile::encodeName(path).toStdString());
    if (IsQuoteDataFileName(target))
        return QStringLiteral("%1 is a file of a portfolio; the chart is not written over it.")
            .arg(path);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(chart.Title());
        chart.Render(svg, size);
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        chart.Render(image, size);
        if (!image.save(&buffer, "PNG")) return QStringLiteral("The picture could not be made.");
    }
    buffer.close();

    OutputFile out(target);
    const DataStatus opened = out.open();
    if (opened == kReadOnly) return QStringLiteral("%1 is read-only.").arg(path);
    if (opened != kSuccess) return QStringLiteral("%1 cannot be created.").arg(path);
    out.stream().write(bytes.constData(), bytes.size());
    if (out.commit() != kSuccess)
        return QStringLiteral("%1 could not be written; an earlier file of that name is as it was.")
            .arg(path);
    return {};
}

void SaveChartAs(const CChartWidget& chart, UiHost& host) {
    if (chart.Model().barCount() == 0) return;
    QString name = chart.Title().section(QLatin1Char(' '), 0, 0);
    if (name.isEmpty()) name = QStringLiteral("chart");
    const QString path =
        host.saveFileName(name + QStringLiteral(".png"), QStringLiteral("png"),
                          QStringLiteral("PNG Image (*.png);;SVG Image (*.svg)"), 0);
    if (path.isEmpty()) return;
    // A hidden chart is pictured at a size that shows it well.
    const QSize size = chart.isVisible() && chart.width() >= 320 && chart.height() >= 200
                           ? chart.size()
                           : QSize(1200, 700);
    const QString failure = WriteChartFile(chart, path, size);
    if (!failure.isEmpty())
        host.messageBox(QStringLiteral("The chart was not saved.\n\n") + failure);
}
