#include "app/Prompter.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QScreen>

namespace twl::gui {
namespace {

// Over the middle of the window, also before the window manager has placed it.
void CentreOn(QWidget& box, const QWidget* parent) {
    box.adjustSize();
    const QRect area = parent != nullptr && parent->isVisible() ? parent->frameGeometry()
                                                                : box.screen()->availableGeometry();
    box.move(area.center() - box.rect().center());
}

} // namespace

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::kError:
        return QMessageBox::Critical;
    case MessageIcon::kWarning:
        return QMessageBox::Warning;
    default:
        return QMessageBox::Information;
    }
}

QString EngineText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::StandardButton Prompter::Ask(QMessageBox::Icon icon, const QString& caption,
                                          const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton) {
    m_shown.push_back(text);
    if (m_observer)
        m_observer(text);
    if (!m_answers.empty()) {
        const QMessageBox::StandardButton answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    if (m_unattended)
        return buttons == QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::No;
    QMessageBox box(icon, caption, text, buttons, m_parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    CentreOn(box, m_parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString Prompter::SaveFileName(const QString& caption, const QString& proposed,
                               const QString& filter, const QString& extension) {
    QString path;
    if (!m_files.empty()) {
        path = m_files.front();
        m_files.pop_front();
    } else if (m_unattended) {
        return {};
    } else {
        QFileDialog dialog(m_parent, caption, proposed, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(extension);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        path = dialog.selectedFiles().front();
    }
    // A name typed without an extension gets the default one.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += "." + extension;
    return path;
}

QString Prompter::AskPath(const std::function<QString()>& ask) {
    if (!m_files.empty()) {
        const QString path = m_files.front();
        m_files.pop_front();
        return path;
    }
    return m_unattended ? QString() : ask();
}

QString Prompter::OpenFileName(const QString& caption, const QString& filter) {
    return AskPath(
        [&] { return QFileDialog::getOpenFileName(m_parent, caption, QString(), filter); });
}

QString Prompter::FolderName(const QString& caption, const QString& start) {
    return AskPath([&] { return QFileDialog::getExistingDirectory(m_parent, caption, start); });
}

} // namespace twl::gui

namespace twl::gui {

int Prompter::ChooseItem(const QString& caption, const QString& label, const QStringList& items) {
    m_shown.push_back(label);
    if (!m_choices.empty()) {
        const int choice = m_choices.front();
        m_choices.pop_front();
        return choice;
    }
    if (m_unattended)
        return -1;
    bool chosen = false;
    const QString item = QInputDialog::getItem(m_parent, caption, label, items, 0, false, &chosen);
    return chosen ? static_cast<int>(items.indexOf(item)) : -1;
}

int Prompter::RunDialog(QDialog& dialog) {
    if (!m_dialogs.empty()) {
        const std::function<int(QDialog&)> answer = std::move(m_dialogs.front());
        m_dialogs.pop_front();
        return answer(dialog);
    }
    if (m_unattended)
        return QDialog::Rejected;
    return dialog.exec();
}

} // namespace twl::gui
