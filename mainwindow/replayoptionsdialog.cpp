#include "replayoptionsdialog.h"

#include "controlnames.h"
#include "scriptparser.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace mainwindow {

std::optional<ReplayChoice> askReplayOptions(QWidget* parent, const ReplayChoice& initial)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ReplayOptions"));
    dialog.setWindowTitle(QStringLiteral("Воспроизведение записи"));
    auto* layout = new QFormLayout(&dialog);

    // 0 stands for the capture's own times, shown in words.
    auto* window = ui::makeControl<QSpinBox>(&dialog, "ReplayWindow");
    window->setRange(0, testscript::kLongestWindowMs);
    window->setSingleStep(100);
    window->setSpecialValueText(QStringLiteral("по записи"));
    window->setSuffix(QStringLiteral(" мс"));
    window->setValue(initial.windowMs.value_or(0));
    window->setAccessibleName(QStringLiteral("Окно ответа каждого обмена"));
    window->setToolTip(QStringLiteral("«по записи»: не короче окна линии и на 50 % и 100 мс длиннее того, "
                                      "через сколько ответ пришёл в записи"));
    layout->addRow(QStringLiteral("&Окно ответа:"), window);

    auto* early = ui::makeControl<QCheckBox>(&dialog, "ReplayEarly",
                                             QStringLiteral("Заканчивать окно, как только &ответ совпал"));
    early->setChecked(initial.earlyWindows);
    layout->addRow(early);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName(QStringLiteral("ReplayButtons"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    window->setFocus(Qt::OtherFocusReason);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    ReplayChoice chosen;
    if (window->value() > 0)
        chosen.windowMs = window->value();
    chosen.earlyWindows = early->isChecked();
    return chosen;
}

} // namespace mainwindow
