#include "about/staticlink.h"

#include <QEnterEvent>
#include <QMouseEvent>

#include "ui/uihost.h"

CStaticLink::CStaticLink(barwise::UiHost& host, QWidget* parent) : QLabel(parent), m_host(host) {
    setMouseTracking(true);
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    ApplyColour();

    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setInterval(kClickPauseMs);
    connect(&m_pauseTimer, &QTimer::timeout, this, [this] { m_clickPause = false; });
}

void CStaticLink::SetVisitedFlag(bool* visited) {
    m_visited = visited;
    ApplyColour();
}

void CStaticLink::ApplyColour() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Visited() ? m_visitedColour : m_unvisitedColour);
    setPalette(pal);
}

void CStaticLink::OpenLink() {
    if (m_link.isEmpty()) {
        m_link = text();
        if (m_link.contains(QLatin1String(kMailMarker))) m_link.prepend(QStringLiteral("mailto:"));
    }
    m_hovered = false;
    m_clickPause = true;
    m_pauseTimer.start();
    if (!m_host.openWithShell(m_link)) {
        m_host.beep(barwise::UiHost::Beep::Default);
        return;
    }
    if (m_visited) *m_visited = true;
    unsetCursor();
    ApplyColour();
    update();
}

void CStaticLink::UpdateHover(bool inside) {
    if (m_clickPause) return;
    if (!m_hovered && inside) {
        m_hovered = true;
        setCursor(Qt::PointingHandCursor);
    } else if (m_hovered && !inside) {
        m_hovered = false;
        unsetCursor();
    }
}

void CStaticLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    UpdateHover(true);
}

void CStaticLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    UpdateHover(false);
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    UpdateHover(rect().contains(event->position().toPoint()));
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OpenLink();
}
