#pragma once
// The meter mode's panel: the readings and their poll, the fifteen settings with
// their R and W buttons, the groups for all settings at once, the indication channels
// and the meter's address, and the log. Only widgets: the family drives them.

#include "metercodes.h"

#include <QFrame>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {
class LogPane;
}

namespace meter {

class MeterPanel : public QObject {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget* clientArea);

    QFrame* const ERK2Panel;
    ui::LogPane* const Memo_log;

    // The readings vv1 … ww3 in poll order, and the sum of the powers.
    std::array<QLabel*, kMeasuredCount> readings{};
    QLabel* summ_wat = nullptr;
    QPushButton* read_all = nullptr;
    QComboBox* read_combo = nullptr;
    QPushButton* clear_log_Button = nullptr;

    // The settings in table order: field, "R" and "W".
    std::array<QLineEdit*, kSettingCount> settingFields{};
    std::array<QPushButton*, kSettingCount> readButtons{};
    std::array<QPushButton*, kSettingCount> writeButtons{};

    // "Коррекция": all fifteen at once.
    QGroupBox* Panel3 = nullptr;
    QPushButton* rd_kor_all = nullptr;
    QPushButton* wr_kor_all = nullptr;

    // "Индикация".
    QGroupBox* Panel1 = nullptr;
    std::array<QCheckBox*, kIndicationChannels> Ind_ch{};
    QPushButton* Button2 = nullptr;

    // "Адрес".
    QGroupBox* Panel2 = nullptr;
    QLineEdit* edit_adr_zap = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button22 = nullptr;

private:
    void buildReadings();
    // A group of setting columns: the settings first, first + 3, … with their captions.
    void buildSettingColumns(QGroupBox* group, int first, std::initializer_list<const char*> captions);
    void buildGroups();
};

} // namespace meter
