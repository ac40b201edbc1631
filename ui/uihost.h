// Everything that blocks on the user or makes a noise goes through UiHost, so that the
// view, the dialogs and the commands can be driven by a scripted host in tests.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;

namespace barwise {

class UiHost {
public:
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Icon { None, Information, Warning, Question, Stop };
    enum class Answer { Ok, Cancel, Yes, No };
    enum class Beep { Default, Asterisk, Question };

    virtual ~UiHost() = default;

    // A message box captioned with the program's name.
    virtual Answer messageBox(const QString& text, Buttons buttons = Buttons::Ok,
                              Icon icon = Icon::Warning) = 0;
    // Runs a modal dialog; true when it was accepted.
    virtual bool runDialog(QDialog& dialog) = 0;
    // The save-file dialog: the chosen path, or empty when cancelled. flags are the
    // QFileDialog options.
    virtual QString saveFileName(const QString& defaultName, const QString& defaultExt,
                                 const QString& filter, int flags) = 0;
    // The open-file dialog for one or more existing files: the chosen paths, or none when
    // cancelled.
    virtual QStringList openFileNames(const QString& caption, const QString& filter) = 0;
    virtual void beep(Beep kind) = 0;
    // Opens a link or file with the desktop's handler; false when nothing took it.
    virtual bool openWithShell(const QString& text) = 0;
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
};

// Shows the wait cursor for the life of the guard.
class WaitCursor {
public:
    explicit WaitCursor(UiHost& host) : m_host(host) { m_host.beginWaitCursor(); }
    ~WaitCursor() { m_host.endWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    UiHost& m_host;
};

}  // namespace barwise
