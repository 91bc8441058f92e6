#include "app/dialogs.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt_host.hpp"
#include "core/angles.hpp"
#include "core/position_tools.hpp"
#include "core/text_forms.hpp"
#include "formats/tnlog/tn_log.hpp"

namespace tracora::app {

NewTrackChoice RunNewTrackLogDialog(QWidget* parent, const TrackLogSummary& current,
                                    const TrackLogSummary& incoming) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("New Track Log"));
    box.setText(QStringLiteral("Current track log: %1 - %2 (%3)\nNew track log: %4 - %5 (%6)")
                    .arg(ToQString(current.first), ToQString(current.last),
                         ToQString(current.duration), ToQString(incoming.first),
                         ToQString(incoming.last), ToQString(incoming.duration)));
    QPushButton* overwrite = box.addButton(QStringLiteral("&Overwrite"), QMessageBox::AcceptRole);
    QPushButton* append = box.addButton(QStringLiteral("&Append"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == overwrite) {
        return NewTrackChoice::kOverwrite;
    }
    if (box.clickedButton() == append) {
        return NewTrackChoice::kAppend;
    }
    return NewTrackChoice::kCancel;
}

std::optional<std::vector<int>> RunSplitDialog(QWidget* parent, const SplitDialogRequest& request) {
    QDialog dialog(parent);
    dialog.setWindowTitle(ToQString(request.title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& part : request.parts) {
        list->addItem(ToQString(part));
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    // The dialog stays open while nothing is selected.
    ok->setEnabled(false);
    QObject::connect(list, &QListWidget::itemSelectionChanged, &dialog,
                     [list, ok] { ok->setEnabled(!list->selectedItems().isEmpty()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<int> chosen;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            chosen.push_back(row);
        }
    }
    if (chosen.empty()) {
        return std::nullopt;
    }
    return chosen;
}

std::optional<RotateDialogResult> RunRotateDialog(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Rotate Track"));
    auto* form = new QFormLayout(&dialog);
    auto* startLatitude = new QLineEdit(&dialog);
    auto* startLongitude = new QLineEdit(&dialog);
    auto* endLatitude = new QLineEdit(&dialog);
    auto* endLongitude = new QLineEdit(&dialog);
    form->addRow(QStringLiteral("Start latitude"), startLatitude);
    form->addRow(QStringLiteral("Start longitude"), startLongitude);
    form->addRow(QStringLiteral("End latitude"), endLatitude);
    form->addRow(QStringLiteral("End longitude"), endLongitude);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return RotateDialogResult{ToStdString(startLatitude->text()),
                              ToStdString(startLongitude->text()), ToStdString(endLatitude->text()),
                              ToStdString(endLongitude->text())};
}

void RunPositionToolDialog(QWidget* parent, bool distance) {
    QDialog dialog(parent);
    dialog.setWindowTitle(distance ? QStringLiteral("Calculate distance")
                                   : QStringLiteral("Convert Position"));
    auto* form = new QFormLayout(&dialog);
    auto* latitude1 = new QLineEdit(&dialog);
    auto* longitude1 = new QLineEdit(&dialog);
    auto* latitude2 = new QLineEdit(&dialog);
    auto* longitude2 = new QLineEdit(&dialog);
    form->addRow(distance ? QStringLiteral("From latitude") : QStringLiteral("Latitude"),
                 latitude1);
    form->addRow(distance ? QStringLiteral("From longitude") : QStringLiteral("Longitude"),
                 longitude1);
    if (distance) {
        form->addRow(QStringLiteral("To latitude"), latitude2);
        form->addRow(QStringLiteral("To longitude"), longitude2);
    }
    auto* result = new QLabel(&dialog);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Result"), result);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    auto* compute = buttons->addButton(QStringLiteral("&Compute"), QDialogButtonBox::ActionRole);
    compute->setDefault(true);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(compute, &QPushButton::clicked, &dialog, [=] {
        std::string text;
        if (distance) {
            DescribeDistance(ToStdString(latitude1->text()), ToStdString(longitude1->text()),
                             ToStdString(latitude2->text()), ToStdString(longitude2->text()), text);
        } else {
            DescribePosition(ToStdString(latitude1->text()), ToStdString(longitude1->text()), text);
        }
        result->setText(ToQString(text));
    });
    dialog.exec();
}

bool RunUtcOffsetDialog(QWidget* parent, int& seconds) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Set UTC offset for TN"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(QStringLiteral("Set the difference between the local time and UTC. "
                                           "Only used for the Top Navigator. Positive values "
                                           "means local time is ahead of UTC time."),
                            &dialog);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* form = new QFormLayout;
    auto* hours = new QComboBox(&dialog);
    hours->setObjectName(QStringLiteral("hours"));
    for (int h = 12; h >= -12; --h)
        hours->addItem(QString::number(h), h);
    auto* minutes = new QComboBox(&dialog);
    minutes->setObjectName(QStringLiteral("minutes"));
    minutes->addItem(QStringLiteral("30"), true);
    minutes->addItem(QStringLiteral("0"), false);
    const tnlog::UtcOffsetChoice current = tnlog::UtcOffsetToChoice(seconds);
    hours->setCurrentIndex(12 - current.hours);
    minutes->setCurrentIndex(current.halfHour ? 0 : 1);
    form->addRow(QStringLiteral("Hours:"), hours);
    form->addRow(QStringLiteral("Minutes:"), minutes);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    seconds =
        tnlog::UtcOffsetFromChoice({hours->currentData().toInt(), minutes->currentData().toBool()});
    return true;
}

bool RunWaypointDialog(QWidget* parent, const QString& title, Waypoint& waypoint) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    auto* id = new QLineEdit(ToQString(std::string(waypoint.Id())), &dialog);
    id->setMaxLength(6);
    auto* name = new QLineEdit(ToQString(std::string(waypoint.Description())), &dialog);
    name->setMaxLength(40);
    auto* latitude = new QLineEdit(
        ToQString(FormatLatitude(SemicirclesToHundredthSeconds(waypoint.latitude))), &dialog);
    auto* longitude = new QLineEdit(
        ToQString(FormatLongitude(SemicirclesToHundredthSeconds(waypoint.longitude))), &dialog);
    auto* height = new QSpinBox(&dialog);
    height->setRange(-1000, 99999);
    height->setValue(waypoint.altitude);
    form->addRow(QStringLiteral("ID"), id);
    form->addRow(QStringLiteral("Name"), name);
    form->addRow(QStringLiteral("Latitude"), latitude);
    form->addRow(QStringLiteral("Longitude"), longitude);
    form->addRow(QStringLiteral("Height"), height);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    double latitudeRadians = 0;
    double longitudeRadians = 0;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (ParseAngle(ToStdString(latitude->text()), AngleKind::kLatitude, latitudeRadians) != 0) {
            QMessageBox::warning(&dialog, title, QStringLiteral("Bad latitude"));
            return;
        }
        if (ParseAngle(ToStdString(longitude->text()), AngleKind::kLongitude, longitudeRadians) !=
            0) {
            QMessageBox::warning(&dialog, title, QStringLiteral("Bad longitude"));
            return;
        }
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    waypoint.SetId(ToStdString(id->text()));
    waypoint.SetDescription(ToStdString(name->text()));
    waypoint.latitude = RadiansToSemicircles(latitudeRadians);
    waypoint.longitude = RadiansToSemicircles(longitudeRadians);
    waypoint.altitude = height->value();
    return true;
}

std::optional<std::string> RunPortDialog(QWidget* parent, const std::string& current,
                                         const std::vector<device::SerialPortInfo>& ports,
                                         const std::vector<device::UsbUnitInfo>& usbUnits) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Set COM port"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("Port (COMn, a device path or a USB bus address BUS:ADDRESS):"), &dialog));
    auto* combo = new QComboBox(&dialog);
    combo->setEditable(true);
    for (const device::SerialPortInfo& port : ports) {
        const QString path = ToQString(port.path);
        combo->addItem(path, path);
        const int row = combo->count() - 1;
        QString description = ToQString(port.product);
        if (!port.byIdPath.empty()) {
            description += (description.isEmpty() ? QString() : QStringLiteral("\n")) +
                           ToQString(port.byIdPath);
        }
        combo->setItemData(row, description, Qt::ToolTipRole);
    }
    // The USB units are chosen by their bus address, which the USB jobs take from the port.
    for (const device::UsbUnitInfo& unit : usbUnits) {
        const QString address = ToQString(unit.address);
        combo->addItem(
            address + QStringLiteral(" (USB: ") + ToQString(unit.product) + QStringLiteral(")"),
            address);
    }
    combo->setEditText(ToQString(current));
    layout->addWidget(combo);
    if (ports.empty()) {
        layout->addWidget(new QLabel(QStringLiteral("No serial port found"), &dialog));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    // A listed entry stands for its data (a USB unit's text carries its product name too).
    QString text = combo->currentText();
    if (const int row = combo->findText(text); row >= 0) {
        text = combo->itemData(row).toString();
    }
    const std::string chosen = ToStdString(text.trimmed());
    if (chosen.empty()) {
        return std::nullopt;
    }
    return chosen;
}

bool RunFieldsDialog(QWidget* parent, const QString& title, const std::vector<DialogField>& fields,
                     const std::function<bool(const std::vector<QString>&)>& accept) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    std::vector<QLineEdit*> edits;
    for (const DialogField& field : fields) {
        auto* edit = new QLineEdit(field.initial, &dialog);
        edit->setObjectName(field.name);
        if (field.maxLength > 0) {
            edit->setMaxLength(field.maxLength);
        }
        form->addRow(field.label, edit);
        edits.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        std::vector<QString> texts;
        for (const QLineEdit* edit : edits)
            texts.push_back(edit->text());
        if (accept(texts)) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Accepted;
}

bool RunTextValueDialog(QWidget* parent, const QString& title, const QString& label,
                        const QString& initial, const std::function<bool(const QString&)>& accept) {
    return RunFieldsDialog(
        parent, title, {{label, QStringLiteral("value"), initial}},
        [&accept](const std::vector<QString>& texts) { return accept(texts.front()); });
}

bool RunCtrEditDialog(
    QWidget* parent, const QString& title, const QString& text, const QString& warning,
    const std::function<bool(const QString& text, const QString& warning)>& accept) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.resize(560, 420);
    auto* layout = new QVBoxLayout(&dialog);
    auto* editor = new QPlainTextEdit(&dialog);
    editor->setObjectName(QStringLiteral("text"));
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    editor->setFont(fixed);
    // The records are shown one a line, whatever line ends they were written with.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    editor->setPlainText(shown);
    layout->addWidget(editor);
    auto* form = new QFormLayout();
    auto* distance = new QLineEdit(warning, &dialog);
    distance->setObjectName(QStringLiteral("warning"));
    auto* label = new QLabel(QStringLiteral("&Warning distance (m)"), &dialog);
    label->setBuddy(distance);
    form->addRow(label, distance);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (accept(editor->toPlainText(), distance->text())) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Accepted;
}

void RunRawIgcDialog(QWidget* parent, const igc::RawIgcSaveRequest& initial,
                     const std::function<bool(const igc::RawIgcSaveRequest&)>& save) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Save IGC track log from GPS"));
    auto* form = new QFormLayout(&dialog);
    auto* flight = new QLineEdit(ToQString(initial.flightNumber), &dialog);
    flight->setObjectName(QStringLiteral("flight"));
    flight->setMaxLength(10);
    form->addRow(QStringLiteral("Flight # (1-35)"), flight);
    auto* longName = new QCheckBox(QStringLiteral("Save with IGC long file name"), &dialog);
    auto* shortName = new QCheckBox(QStringLiteral("Save with IGC short file name"), &dialog);
    longName->setChecked(initial.style == igc::IgcNameStyle::kLong);
    shortName->setChecked(initial.style == igc::IgcNameStyle::kShort);
    // At most one of the two names.
    QObject::connect(longName, &QCheckBox::toggled, shortName, [shortName](bool on) {
        if (on) {
            shortName->setChecked(false);
        }
    });
    QObject::connect(shortName, &QCheckBox::toggled, longName, [longName](bool on) {
        if (on) {
            longName->setChecked(false);
        }
    });
    form->addRow(longName);
    form->addRow(shortName);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog);
    buttons->addButton(QStringLiteral("&Save"), QDialogButtonBox::AcceptRole);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (save({ToStdString(flight->text()),
                  igc::NameStyleOf(longName->isChecked(), shortName->isChecked())})) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}

void RunIgcFileDialog(QWidget* parent, const igc::IgcFileParameters& values,
                      const std::function<bool(const igc::IgcFileParameters&)>& save) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("IGC File Format"));
    auto* form = new QFormLayout(&dialog);
    const auto field = [&](const QString& label, const QString& name, const std::string& text,
                           int length) {
        auto* edit = new QLineEdit(ToQString(text), &dialog);
        edit->setObjectName(name);
        edit->setMaxLength(length);
        form->addRow(label, edit);
        return edit;
    };
    QLineEdit* pilot = field(QStringLiteral("&Pilot"), QStringLiteral("pilot"), values.pilot, 80);
    QLineEdit* flight = field(QStringLiteral("&Flight # (1-35)"), QStringLiteral("flight"),
                              values.flightNumber, 10);
    QLineEdit* serial = field(QStringLiteral("FR &serial no. (3 alpha/num)"),
                              QStringLiteral("serial"), values.frSerial, 3);
    QLineEdit* gliderType =
        field(QStringLiteral("Glider &Type"), QStringLiteral("gliderType"), values.gliderType, 80);
    QLineEdit* gliderId =
        field(QStringLiteral("Glider &ID"), QStringLiteral("gliderId"), values.gliderId, 80);
    QLineEdit* site = field(QStringLiteral("S&ite"), QStringLiteral("site"), values.site, 80);
    QLineEdit* gliderClass =
        field(QStringLiteral("&Class"), QStringLiteral("class"), values.gliderClass, 80);
    auto* longName = new QCheckBox(QStringLiteral("Save with IGC &long file name"), &dialog);
    auto* shortName = new QCheckBox(QStringLiteral("Save with IGC s&hort file name"), &dialog);
    auto* enl = new QCheckBox(QStringLiteral("Add &ENL from trk depth"), &dialog);
    longName->setChecked(values.longName);
    shortName->setChecked(values.shortName);
    enl->setChecked(values.addEnl);
    form->addRow(longName);
    form->addRow(shortName);
    form->addRow(enl);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog);
    buttons->addButton(QStringLiteral("&Save"), QDialogButtonBox::AcceptRole);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        igc::IgcFileParameters edited;
        edited.pilot = ToStdString(pilot->text());
        edited.flightNumber = ToStdString(flight->text());
        edited.frSerial = ToStdString(serial->text());
        edited.gliderType = ToStdString(gliderType->text());
        edited.gliderId = ToStdString(gliderId->text());
        edited.site = ToStdString(site->text());
        edited.gliderClass = ToStdString(gliderClass->text());
        edited.longName = longName->isChecked();
        edited.shortName = shortName->isChecked();
        edited.addEnl = enl->isChecked();
        if (save(edited)) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}

}  // namespace tracora::app
