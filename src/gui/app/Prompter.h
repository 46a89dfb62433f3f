#pragma once

// Every message box and file dialog of the program goes through one Prompter, so that the
// tests can answer them: queued answers are taken first, and only without one is a real
// dialog shown.

#include "core/EngineEvents.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QWidget;

namespace twl::gui {

// The box icon of an engine worker's message.
QMessageBox::Icon BoxIcon(MessageIcon icon);
// One of the engine's own texts (UTF-8), to be shown.
QString EngineText(std::string_view text);

class Prompter {
public:
    explicit Prompter(QWidget* parent) : m_parent(parent) {}

    // Shows a message; returns the button chosen (Ok for a plain message).
    // `defaultButton`: the button Enter presses, where it is not the box's own choice.
    QMessageBox::StandardButton
    Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    void Tell(QMessageBox::Icon icon, const QString& caption, const QString& text) {
        Ask(icon, caption, text, QMessageBox::Ok);
    }
    // A file to save to or open; empty when cancelled.
    QString SaveFileName(const QString& caption, const QString& proposed, const QString& filter,
                         const QString& extension);
    QString OpenFileName(const QString& caption, const QString& filter);
    // A folder (queued with QueueFile in tests); empty when cancelled.
    QString FolderName(const QString& caption, const QString& start);
    // One of `items`, chosen by the user: its index, or -1 when cancelled.
    int ChooseItem(const QString& caption, const QString& label, const QStringList& items);

    // A dialog that asks the user for something (the scan mode, a sector range): run modally,
    // or answered by a queued answer, which gets the dialog set up but not shown, may fill it
    // in and close it, and returns its result. Unattended without an answer it is cancelled.
    int RunDialog(QDialog& dialog);
    // Messages and dialogs of a window shown over the frame (the wizard) belong to it while it
    // is open; returns the parent before.
    QWidget* SetParent(QWidget* parent) {
        QWidget* before = m_parent;
        m_parent = parent;
        return before;
    }
    QWidget* Parent() const { return m_parent; }

    // For tests: no dialog is ever shown; an answer not queued is Ok for a message, No for
    // a question, and a cancel for a file or a choice.
    void SetUnattended(bool unattended) { m_unattended = unattended; }
    // For tests: the next answers, in order, and every text shown.
    void QueueAnswer(QMessageBox::StandardButton answer) { m_answers.push_back(answer); }
    void QueueFile(const QString& path) { m_files.push_back(path); }
    void QueueChoice(int index) { m_choices.push_back(index); }
    void QueueDialog(std::function<int(QDialog&)> answer) {
        m_dialogs.push_back(std::move(answer));
    }
    const QStringList& Shown() const { return m_shown; }
    // For tests: called with each message's text as it is shown (a worker that shows it
    // waits meanwhile).
    void SetObserver(std::function<void(const QString&)> observer) {
        m_observer = std::move(observer);
    }

private:
    // A path the tests queued, else none when unattended, else what `ask` gets of the user.
    QString AskPath(const std::function<QString()>& ask);

    QWidget* m_parent;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::deque<QString> m_files;
    std::deque<int> m_choices;
    std::deque<std::function<int(QDialog&)>> m_dialogs;
    QStringList m_shown;
    std::function<void(const QString&)> m_observer;
    bool m_unattended = false;
};

} // namespace twl::gui
