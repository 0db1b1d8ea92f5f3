// The simulator window's force panel: a value the interpreter can hold,
// picked from the drive's catalogue or typed under any name the catalogue
// accepts, a reading in the catalogue's unit, Force, and the two releases
// (keep the forced value, or restore the one from before). Lists what is
// forced. Not the forcing itself: it checks what the user typed and asks;
// the window forces on the drive and tells the panel what is held.
#pragma once

#include "drivemap/drive_catalogue.h"

#include <QGroupBox>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kt::simulator {

class ForcePanel : public QGroupBox {
    Q_OBJECT

public:
    explicit ForcePanel(QWidget* parent = nullptr);

    // What is forced, one "Counter.3 = 5" a row.
    void ShowForced(const QStringList& rows);
    // Beside the field: why a request was refused; empty clears it.
    void SetMessage(const QString& text);

    QComboBox* ValueBox() const { return m_value; }
    QLineEdit* ReadingEdit() const { return m_reading; }
    QPushButton* ForceButton() const { return m_force; }
    QPushButton* ReleaseButton(bool restore) const { return restore ? m_restore : m_keep; }
    QListWidget* ForcedList() const { return m_list; }
    QLabel* MessageLabel() const { return m_message; }

signals:
    void forceRequested(const kt::drivemap::ValueRef& ref, std::uint16_t count);
    void releaseRequested(const kt::drivemap::ValueRef& ref, bool restore);

protected:
    // The list keeps its height in rows when the text is zoomed.
    void changeEvent(QEvent* event) override;

private:
    // The value named in the box, or nothing with the reason told.
    std::optional<drivemap::ValueRef> Chosen();
    void OnForce();

    QComboBox* m_value = nullptr;
    QLineEdit* m_reading = nullptr;
    QPushButton* m_force = nullptr;
    QPushButton* m_keep = nullptr;
    QPushButton* m_restore = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace kt::simulator
