#include "ui/qtuihost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "ui/settingsstore.h"

namespace barwise {

UiHost::Answer QtUiHost::messageBox(const QString& text, Buttons buttons, Icon icon) {
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromLatin1(kApplicationName));
    box.setText(text);
    switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    // Long work may have the wait cursor up; a question needs the arrow.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    switch (result) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

bool QtUiHost::runDialog(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

QString QtUiHost::saveFileName(const QString& defaultName, const QString& defaultExt,
                               const QString& filter, int flags) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultExt);
    dialog.setOptions(QFileDialog::Options(flags));
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

QStringList QtUiHost::openFileNames(const QString& caption, const QString& filter) {
    QFileDialog dialog(m_parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

void QtUiHost::beep(Beep) {
    QApplication::beep();
}

bool QtUiHost::openWithShell(const QString& text) {
    const QUrl url =
        QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
    return url.isValid() && QDesktopServices::openUrl(url);
}

void QtUiHost::beginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiHost::endWaitCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace barwise
