#include "platform/QtUserPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

QMessageBox::StandardButton ToQt(PromptAnswer answer) {
    switch (answer) {
        case PromptAnswer::Ok:
            return QMessageBox::Ok;
        case PromptAnswer::Cancel:
            return QMessageBox::Cancel;
        case PromptAnswer::Yes:
            return QMessageBox::Yes;
        case PromptAnswer::No:
            return QMessageBox::No;
        case PromptAnswer::Retry:
            return QMessageBox::Retry;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons ToQt(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return QMessageBox::Ok;
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case PromptButtons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

PromptAnswer FromQt(int button, PromptButtons buttons) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Retry:
            return PromptAnswer::Retry;
        default:
            break;
    }
    // Escape or the close box: No where the box has no Cancel.
    return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
}

}  // namespace

PromptAnswer QtUserPrompts::MessageBox(const MessageBoxRequest& request) {
    QMessageBox box(ToQt(request.icon), request.caption, request.text, ToQt(request.buttons),
                    parent_);
    box.setDefaultButton(ToQt(request.defaultAnswer));
    return FromQt(box.exec(), request.buttons);
}

QString QtUserPrompts::OpenFileName(const FileDialogRequest& request) {
    return QFileDialog::getOpenFileName(parent_, request.title, request.suggestedName,
                                        request.filter);
}

QString QtUserPrompts::SaveFileName(const FileDialogRequest& request) {
    QString path =
        QFileDialog::getSaveFileName(parent_, request.title, request.suggestedName, request.filter);
    if (!path.isEmpty() && !request.defaultSuffix.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += "." + request.defaultSuffix;
    return path;
}

void QtUserPrompts::Beep(int, int) {
    QApplication::beep();
}

bool QtUserPrompts::ShellOpen(const QString& target) {
    const QUrl url = target.contains("://") ? QUrl(target) : QUrl::fromLocalFile(target);
    return QDesktopServices::openUrl(url);
}
