// A text that works as a link: underlined, blue until it has been opened and purple after,
// a hand cursor while the pointer is over it, and a click opens it with the desktop's
// handler (a mail address as "mailto:").
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>

namespace barwise {
class UiHost;
}

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    static constexpr int kClickPauseMs = 1000;
    // A text holding this is a mail address.
    static constexpr char kMailMarker[] = "barwise@";

    CStaticLink(barwise::UiHost& host, QWidget* parent = nullptr);

    // The flag lives with the owner so that it outlasts the control.
    void SetVisitedFlag(bool* visited);
    // The text to open; when empty, the control's text at the first click.
    QString m_link;
    QColor m_unvisitedColour{0, 0, 255};
    QColor m_visitedColour{128, 0, 128};
    // The pointer is over the link, so the hand cursor shows.
    bool m_hovered = false;
    bool m_clickPause = false;

    bool Visited() const { return m_visited && *m_visited; }
    // Opens the link, as a click does.
    void OpenLink();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateHover(bool inside);
    void ApplyColour();

    barwise::UiHost& m_host;
    bool* m_visited = nullptr;
    QTimer m_pauseTimer;
};
