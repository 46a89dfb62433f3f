#pragma once

// Asks for the first and last sector of a thorough scan and checks them against the source
// before it closes: a wrong value is named in a message and the dialog stays open.

#include "app/Prompter.h"
#include "core/Types.h"

#include <QDialog>
#include <cstdint>

class QLineEdit;

namespace twl::gui {

class SectorRangeDialog : public QDialog {
    Q_OBJECT
public:
    // `sectors`: how many sectors the scan may reach (the source's, at most 2^32).
    SectorRangeDialog(std::uint64_t sectors, Prompter& prompter, QWidget* parent = nullptr);

    // The range, valid after the dialog was accepted.
    SectorNo Start() const { return m_start; }
    SectorNo End() const { return m_end; }

    // What the user typed; tests fill them in.
    void SetTexts(const QString& start, const QString& end);
    QString RangeText() const;

    void accept() override;

private:
    std::uint64_t m_sectors;
    Prompter& m_prompter;
    QLineEdit* m_startEdit = nullptr;
    QLineEdit* m_endEdit = nullptr;
    QString m_rangeText;
    SectorNo m_start = 0;
    SectorNo m_end = 0;
};

} // namespace twl::gui
