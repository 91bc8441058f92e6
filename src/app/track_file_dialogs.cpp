#include "app/track_file_dialogs.hpp"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <cstdint>

#include "app/qt_host.hpp"

namespace tracora::app {

std::optional<int> ParseCsvSpan(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 1 || value > kMaxCsvSpan) {
        return std::nullopt;
    }
    return value;
}

namespace {

// One check box of the dialog, with the setting it stands for.
struct ColumnBox {
    const char* name;
    const char* label;
    std::int32_t Settings::*setting;
};

constexpr std::array<ColumnBox, 4> kPlainColumns = {{
    {"absTime", "&Absolute time (day/month/year)", &Settings::csvAbsTime},
    {"relTime", "&Relative time (since the first position)", &Settings::csvRelTime},
    {"relDist", "Relative &distance (km from the first position)", &Settings::csvRelDist},
    {"accDist", "A&ccumulated distance (km)", &Settings::csvAccDist},
}};

// A column computed over a number of positions: its box, its number and the refusal text.
struct SpanColumn {
    const char* name;
    const char* label;
    const char* spanName;
    const char* refusal;
    std::int32_t Settings::*setting;
};

constexpr std::array<SpanColumn, 3> kSpanColumns = {{
    {"bearing", "&Bearing", "bearingSpan", "Bad bearing input", &Settings::csvBearing},
    {"speed", "&Speed (km/h)", "speedSpan", "Bad speed input", &Settings::csvSpeed},
    {"vario", "&Vario (m/s)", "varioSpan", "Bad vario input", &Settings::csvVario},
}};

}  // namespace

bool RunCsvParametersDialog(QWidget* parent, Settings& settings,
                            const std::function<void(const std::string& text)>& refuse) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Set .csv parameters"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("Every file has Date/time, Latitude, Longitude, H-GPS and H-Baro.\n"
                       "Further columns:"),
        &dialog));
    auto* grid = new QGridLayout();
    layout->addLayout(grid);
    int row = 0;
    std::array<QCheckBox*, kPlainColumns.size()> plain{};
    for (std::size_t i = 0; i < kPlainColumns.size(); ++i) {
        plain[i] = new QCheckBox(QString::fromUtf8(kPlainColumns[i].label), &dialog);
        plain[i]->setObjectName(QString::fromUtf8(kPlainColumns[i].name));
        plain[i]->setChecked(settings.*kPlainColumns[i].setting != 0);
        grid->addWidget(plain[i], row++, 0, 1, 3);
    }
    grid->addWidget(new QLabel(QStringLiteral("Over positions:"), &dialog), row++, 1);
    std::array<QCheckBox*, kSpanColumns.size()> spanBoxes{};
    std::array<QLineEdit*, kSpanColumns.size()> spans{};
    QCheckBox* bearing400 = nullptr;
    for (std::size_t i = 0; i < kSpanColumns.size(); ++i) {
        const std::int32_t value = settings.*kSpanColumns[i].setting;
        spanBoxes[i] = new QCheckBox(QString::fromUtf8(kSpanColumns[i].label), &dialog);
        spanBoxes[i]->setObjectName(QString::fromUtf8(kSpanColumns[i].name));
        spanBoxes[i]->setChecked(value > 0);
        spans[i] = new QLineEdit(QString::number(value > 0 ? value : 1), &dialog);
        spans[i]->setObjectName(QString::fromUtf8(kSpanColumns[i].spanName));
        spans[i]->setMaximumWidth(80);
        grid->addWidget(spanBoxes[i], row, 0);
        grid->addWidget(spans[i], row, 1);
        if (i == 0) {
            bearing400 = new QCheckBox(QStringLiteral("&400 units to the circle"), &dialog);
            bearing400->setObjectName(QStringLiteral("bearing400"));
            bearing400->setChecked(settings.csv400deg != 0);
            grid->addWidget(bearing400, row, 2);
        }
        ++row;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        std::array<std::int32_t, kSpanColumns.size()> values{};
        for (std::size_t i = 0; i < kSpanColumns.size(); ++i) {
            if (!spanBoxes[i]->isChecked()) {
                continue;  // an unused number is not checked
            }
            const std::optional<int> span = ParseCsvSpan(spans[i]->text());
            if (!span) {
                refuse(kSpanColumns[i].refusal);
                spans[i]->setFocus();
                return;
            }
            values[i] = *span;
        }
        for (std::size_t i = 0; i < kPlainColumns.size(); ++i) {
            settings.*kPlainColumns[i].setting = plain[i]->isChecked() ? 1 : 0;
        }
        for (std::size_t i = 0; i < kSpanColumns.size(); ++i) {
            settings.*kSpanColumns[i].setting = values[i];
        }
        settings.csv400deg = bearing400->isChecked() ? 1 : 0;
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<int> RunSelectTrackDialog(QWidget* parent, const std::vector<std::string>& tracks) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Select track"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("The file holds %1 tracks. Start of each track "
                                                "(UTC):")
                                     .arg(tracks.size()),
                                 &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("tracks"));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const std::string& track : tracks) {
        list->addItem(ToQString(track));
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    QObject::connect(list, &QListWidget::itemSelectionChanged, &dialog,
                     [list, ok] { ok->setEnabled(!list->selectedItems().isEmpty()); });
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const int row = list->currentRow();
    if (row < 0 || row >= static_cast<int>(tracks.size()) || !list->item(row)->isSelected()) {
        return std::nullopt;
    }
    return row;
}

}  // namespace tracora::app
