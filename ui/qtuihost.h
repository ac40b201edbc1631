// The UiHost of the running program: Qt's message boxes, dialogs and desktop services.
#pragma once

#include "ui/uihost.h"

class QWidget;

namespace barwise {

class QtUiHost final : public UiHost {
public:
    // Message boxes and file dialogs are owned by `parent` (may be null).
    explicit QtUiHost(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override;
    bool runDialog(QDialog& dialog) override;
    QString saveFileName(const QString& defaultName, const QString& defaultExt,
                         const QString& filter, int flags) override;
    QStringList openFileNames(const QString& caption, const QString& filter) override;
    void beep(Beep kind) override;
    bool openWithShell(const QString& text) override;
    void beginWaitCursor() override;
    void endWaitCursor() override;

private:
    QWidget* m_parent;
};

}  // namespace barwise
