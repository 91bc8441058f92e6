#include "app/instrument_dialogs.hpp"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

#include "app/dialogs.hpp"
#include "app/qt_host.hpp"
#include "core/strings.hpp"

namespace tracora::app {

namespace {

constexpr const char* kFlymasterDataTitle = "Set Flymaster data";
constexpr const char* kFlymasterIdsTitle = "Set Flymaster IDs";
constexpr const char* kAltitudeTitle = "Set Flymaster altitude alarm";
constexpr int kMaxAlarmMetres = 11'000;

bool AllDigits(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return !text.isEmpty();
}

// An ID field: empty for none (-1), else up to seven digits.
bool ParseId(const QString& text, int& id) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        id = -1;
        return true;
    }
    if (!AllDigits(trimmed) || trimmed.size() > 7) {
        return false;
    }
    id = trimmed.toInt();
    return true;
}

QString IdText(int id) {
    return id < 0 ? QString() : QString::number(id);
}

}  // namespace

bool RunFlymasterNameDialog(QWidget* parent, Host& host, device::PilotDataUpload& data) {
    const std::vector<DialogField> fields = {
        {QStringLiteral("Pilot name"), QStringLiteral("pilotName"), ToQString(data.pilotName), 14},
        {QStringLiteral("Comp. number"), QStringLiteral("competitionNumber"),
         ToQString(data.competitionNumber), 7},
        {QStringLiteral("Glider brand"), QStringLiteral("gliderBrand"), ToQString(data.gliderBrand),
         14},
        {QStringLiteral("Glider model"), QStringLiteral("gliderModel"), ToQString(data.gliderModel),
         14},
    };
    static constexpr const char* kRefusals[] = {
        "Pilot name contains '*'",
        "Comp. number contains '*'",
        "Glider brand contains '*'",
        "Glider model contains '*'",
    };
    return RunFieldsDialog(parent, QStringLiteral("Set Flymaster Name"), fields,
                           [&](const std::vector<QString>& t) {
                               for (std::size_t i = 0; i < t.size(); ++i) {
                                   if (t[i].contains(QLatin1Char('*'))) {
                                       host.ShowMessage(kFlymasterDataTitle, kRefusals[i]);
                                       return false;
                                   }
                               }
                               data.mode = device::PilotDataUpload::Mode::kPilotData;
                               data.pilotName = ToStdString(t[0]);
                               data.competitionNumber = ToStdString(t[1]);
                               data.gliderBrand = ToStdString(t[2]);
                               data.gliderModel = ToStdString(t[3]);
                               return true;
                           });
}

bool RunFlymasterAltitudeDialog(QWidget* parent, Host& host, device::PilotDataUpload& data) {
    const QString initial =
        data.altitudeMetres > 0 ? QString::number(data.altitudeMetres) : QString();
    return RunFieldsDialog(
        parent, QString::fromLatin1(kAltitudeTitle),
        {{QStringLiteral("Altitude alarm (m)"), QStringLiteral("altitude"), initial, 6}},
        [&](const std::vector<QString>& t) {
            const QString text = t.front().trimmed();
            if (text.isEmpty()) {
                host.ShowMessage(kAltitudeTitle, "Missing input");
                return false;
            }
            if (!AllDigits(text)) {
                host.ShowMessage(kAltitudeTitle, "Bad input format");
                return false;
            }
            // Six digits at most: the number always fits an int.
            const int metres = text.toInt();
            if (metres > kMaxAlarmMetres) {
                host.ShowMessage(kAltitudeTitle, "Altitude too high");
                return false;
            }
            data.mode = device::PilotDataUpload::Mode::kAltitudeAlarm;
            data.altitudeMetres = metres;
            return true;
        });
}

bool RunFlymasterIdsDialog(QWidget* parent, Host& host, device::PilotDataUpload& data) {
    const std::vector<DialogField> fields = {
        {QStringLiteral("COMP ID"), QStringLiteral("competitionId"), IdText(data.competitionId), 7},
        {QStringLiteral("CIVL ID"), QStringLiteral("civlId"), IdText(data.civlId), 7},
        {QStringLiteral("Pilot name"), QStringLiteral("pilotName"), ToQString(data.pilotName), 14},
    };
    return RunFieldsDialog(parent, QString::fromLatin1(kFlymasterIdsTitle), fields,
                           [&](const std::vector<QString>& t) {
                               int competitionId = -1;
                               int civlId = -1;
                               if (!ParseId(t[0], competitionId) || !ParseId(t[1], civlId)) {
                                   host.ShowMessage(kFlymasterIdsTitle, "Bad input format");
                                   return false;
                               }
                               if (t[2].contains(QLatin1Char('*'))) {
                                   host.ShowMessage(kFlymasterIdsTitle, "Pilot name contains '*'");
                                   return false;
                               }
                               data.mode = device::PilotDataUpload::Mode::kIds;
                               data.competitionId = competitionId;
                               data.civlId = civlId;
                               data.pilotName = ToStdString(t[2]);
                               return true;
                           });
}

bool RunDsxPilotDataDialog(QWidget* parent, std::int32_t& mode,
                           std::array<std::string, 6>& values) {
    static const std::array<QString, 6> kFreeflight = {
        QStringLiteral("Pilot name"), QStringLiteral("Comp. ID"), QStringLiteral("Comp. class"),
        QStringLiteral("Glider"),     QStringLiteral("Sponsor"),  QStringLiteral("Telephone no."),
    };
    static const std::array<QString, 6> kGliding = {
        QStringLiteral("Pilot name"),    QStringLiteral("Comp. ID"),
        QStringLiteral("Comp. Class"),   QStringLiteral("Call sign"),
        QStringLiteral("Aircraft type"), QStringLiteral("Telephone no."),
    };
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Set DSX pilot data"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* modes = new QHBoxLayout;
    auto* freeflight = new QPushButton(QStringLiteral("Freeflight"), &dialog);
    freeflight->setObjectName(QStringLiteral("freeflight"));
    auto* gliding = new QPushButton(QStringLiteral("Gliding && motorplanes"), &dialog);
    gliding->setObjectName(QStringLiteral("gliding"));
    for (QPushButton* button : {freeflight, gliding}) {
        button->setCheckable(true);
        button->setAutoDefault(false);
        modes->addWidget(button);
    }
    layout->addLayout(modes);
    auto* form = new QFormLayout;
    std::array<QLabel*, 6> labels{};
    std::array<QLineEdit*, 6> edits{};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        labels[i] = new QLabel(&dialog);
        labels[i]->setObjectName(QStringLiteral("label%1").arg(i + 1));
        // Wide enough for the label of either form, so that switching never cuts one.
        const QFontMetrics metrics = labels[i]->fontMetrics();
        labels[i]->setMinimumWidth(std::max(metrics.horizontalAdvance(kFreeflight[i]),
                                            metrics.horizontalAdvance(kGliding[i])) +
                                   4);
        edits[i] = new QLineEdit(ToQString(values[i]), &dialog);
        edits[i]->setObjectName(QStringLiteral("field%1").arg(i + 1));
        // The recorder keeps 80 characters of a field.
        edits[i]->setMaxLength(80);
        edits[i]->setMinimumWidth(280);
        labels[i]->setBuddy(edits[i]);
        form->addRow(labels[i], edits[i]);
    }
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Blank/unchanged fields are not sent"), &dialog));
    std::int32_t shown = mode != 0 ? 1 : 0;
    const auto showMode = [&](std::int32_t m) {
        shown = m;
        const auto& texts = m != 0 ? kGliding : kFreeflight;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            labels[i]->setText(texts[i]);
        }
        freeflight->setChecked(m == 0);
        gliding->setChecked(m != 0);
    };
    showMode(shown);
    QObject::connect(freeflight, &QPushButton::clicked, &dialog, [&] { showMode(0); });
    QObject::connect(gliding, &QPushButton::clicked, &dialog, [&] { showMode(1); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The form chosen is kept even when the values are not sent.
    mode = shown;
    if (!accepted) {
        return false;
    }
    for (std::size_t i = 0; i < edits.size(); ++i) {
        values[i] = ToStdString(edits[i]->text());
    }
    return true;
}

std::optional<std::string> RunGpsNameDialog(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Write GPS name"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Fill in the name:"), &dialog));
    auto* name = new QLineEdit(&dialog);
    name->setObjectName(QStringLiteral("name"));
    name->setMaxLength(kGpsNameChars);
    layout->addWidget(name);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::string text(TrimBlanks(name->text().toStdString()));
    if (text.empty()) {
        return std::nullopt;
    }
    text.resize(std::max(text.size(), static_cast<std::size_t>(kGpsNameChars)), ' ');
    return text;
}

void RunProductDataDialog(QWidget* parent, const std::vector<std::string>& fields) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Product Data"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    static constexpr std::array<const char*, 4> kLabels = {"Model", "User name", "Serial No.",
                                                           "Software"};
    static constexpr std::array<const char*, 4> kNames = {"model", "user", "serial", "software"};
    for (std::size_t i = 0; i < kLabels.size(); ++i) {
        auto* value = new QLabel(i < fields.size() ? ToQString(fields[i]) : QString(), &dialog);
        value->setObjectName(QString::fromLatin1(kNames[i]));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(QString::fromLatin1(kLabels[i]), value);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

std::optional<int> RunTrackListDialog(QWidget* parent, const QString& title,
                                      const std::vector<std::string>& entries) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QStringLiteral("Select track"), &dialog);
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("tracks"));
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    list->setFont(fixed);
    for (const std::string& entry : entries) {
        list->addItem(ToQString(entry));
    }
    if (list->count() > 0) {
        list->setCurrentRow(0);
    }
    label->setBuddy(list);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (list->currentRow() >= 0) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) {
        return std::nullopt;
    }
    return list->currentRow();
}

}  // namespace tracora::app
