#include "app/competition_dialogs.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <charconv>
#include <climits>
#include <filesystem>

#include "app/qt_host.hpp"
#include "competition/pilot_list_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"

namespace tracora::app {
namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// A blank-normalised field: the text without blanks at either end.
std::string FieldText(const QLineEdit* field) {
    return std::string(TrimBlanks(field->text().toStdString()));
}

// An ID field: -1 when empty, the number, or nothing when it is not one.
std::optional<int> IdField(const QLineEdit* field) {
    const std::string text = FieldText(field);
    if (text.empty()) {
        return -1;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

QString IdText(int id) {
    return id >= 0 ? QString::number(id) : QString();
}

QString PilotLine(const PilotEntry& pilot) {
    const QString name = QString::fromStdString(pilot.name);
    if (pilot.competitionId >= 0 && pilot.civlId >= 0) {
        return QStringLiteral("%1 (comp. %2, CIVL %3)")
            .arg(name)
            .arg(pilot.competitionId)
            .arg(pilot.civlId);
    }
    if (pilot.civlId >= 0) {
        return QStringLiteral("%1 (CIVL %2)").arg(name).arg(pilot.civlId);
    }
    if (pilot.competitionId >= 0) {
        return QStringLiteral("%1 (comp. %2)").arg(name).arg(pilot.competitionId);
    }
    return name;
}

}  // namespace

QString CompetitionTimeText(std::uint32_t time, const char* none) {
    if (time == 0) {
        return QString::fromLatin1(none);
    }
    const CalendarTime c = TimeToCalendar(time);
    return QString::fromStdString(StringPrintf("%d-%02d-%02d  %02d:%02d:%02d", c.year, c.month,
                                               c.day, c.hour, c.minute, c.second));
}

std::optional<std::uint32_t> ParseCompetitionTime(const std::string& text) {
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty()) {
        return 0u;
    }
    CalendarTime c;
    char tail = 0;
    const std::string copy(trimmed);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &c.year, &c.month, &c.day, &c.hour,
                    &c.minute, &c.second, &tail) != 6) {
        return std::nullopt;
    }
    if (c.year < 1990 || c.year > 2125 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 ||
        c.hour > 23 || c.minute > 59 || c.second > 59 || c.hour < 0 || c.minute < 0 ||
        c.second < 0) {
        return std::nullopt;
    }
    const std::uint32_t time = CalendarToTime(c);
    // A day the month does not have comes back as another date.
    const CalendarTime back = TimeToCalendar(time);
    if (back.day != c.day || back.month != c.month || time > 0x7FFFFFFFu) {
        return std::nullopt;
    }
    return time;
}

CompetitionTimesDialog::CompetitionTimesDialog(Settings& settings, QtHost& host, QWidget* parent)
    : QDialog(parent), settings_(settings), host_(host) {
    setWindowTitle(QStringLiteral("Set Competition Times"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        QStringLiteral("Set the UTC date/times. Positions with timestamp outside these limits "
                       "are removed. Leave entry/entries blank to skip the test."),
        this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* form = new QFormLayout;
    start_ = new QLineEdit(this);
    stop_ = new QLineEdit(this);
    start_->setMaxLength(79);
    stop_->setMaxLength(79);
    start_->setPlaceholderText(QStringLiteral("YYYY-MM-DD  HH:MM:SS"));
    stop_->setPlaceholderText(QStringLiteral("YYYY-MM-DD  HH:MM:SS"));
    const auto shown = [](std::int32_t value) {
        return value > 0 ? CompetitionTimeText(static_cast<std::uint32_t>(value), "") : QString();
    };
    start_->setText(shown(settings.compTimeStart));
    stop_->setText(shown(settings.compTimeStop));
    form->addRow(QStringLiteral("Start (UTC):"), start_);
    form->addRow(QStringLiteral("Stop (UTC):"), stop_);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
}

void CompetitionTimesDialog::accept() {
    const std::string title = "Read comp. time";
    const std::optional<std::uint32_t> start = ParseCompetitionTime(start_->text().toStdString());
    if (!start) {
        host_.ShowMessage(title, "Bad start time");
        return;
    }
    const std::optional<std::uint32_t> stop = ParseCompetitionTime(stop_->text().toStdString());
    if (!stop) {
        host_.ShowMessage(title, "Bad stop time");
        return;
    }
    if (*start != 0 && *stop != 0 && *stop <= *start) {
        host_.ShowMessage(title, "Stop time before start time");
        return;
    }
    settings_.compTimeStart = static_cast<std::int32_t>(*start);
    settings_.compTimeStop = static_cast<std::int32_t>(*stop);
    QDialog::accept();
}

CompetitionModeDialog::CompetitionModeDialog(AppState& state, QtHost& host, QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
    setWindowTitle(QStringLiteral("Competition Mode"));
    auto* layout = new QVBoxLayout(this);
    mode_ = new QCheckBox(QStringLiteral("Competition &mode enabled"), this);
    mode_->setChecked(state.settings.compMode != 0);
    layout->addWidget(mode_);
    auto* listRow = new QHBoxLayout;
    auto* read = new QPushButton(QStringLiteral("&Read pilot list"), this);
    pilots_ = new QLabel(this);
    listRow->addWidget(read);
    listRow->addWidget(pilots_, 1);
    layout->addLayout(listRow);
    auto* timeRow = new QHBoxLayout;
    auto* times = new QPushButton(QStringLiteral("&Set comp. time"), this);
    window_ = new QLabel(this);
    timeRow->addWidget(times);
    timeRow->addWidget(window_, 1);
    layout->addLayout(timeRow);
    layout->addWidget(OkCancel(this));
    connect(read, &QPushButton::clicked, this, &CompetitionModeDialog::ReadPilotList);
    connect(times, &QPushButton::clicked, this, &CompetitionModeDialog::SetTimes);
    ShowValues();
}

void CompetitionModeDialog::ShowValues() {
    pilots_->setText(QStringLiteral("%1 pilots").arg(state_.pilotList.pilots.size()));
    window_->setText(CompetitionTimeText(static_cast<std::uint32_t>(state_.settings.compTimeStart),
                                         "No start time") +
                     QStringLiteral("\n") +
                     CompetitionTimeText(static_cast<std::uint32_t>(state_.settings.compTimeStop),
                                         "No stop time"));
}

void CompetitionModeDialog::ReadPilotList() {
    competition::ReadPilotListWithDialog(host_, state_.settings, state_.pilotList, false);
    ShowValues();
}

void CompetitionModeDialog::SetTimes() {
    CompetitionTimesDialog dialog(state_.settings, host_, this);
    dialog.exec();
    ShowValues();
}

void CompetitionModeDialog::accept() {
    state_.settings.compMode = mode_->isChecked() ? 1 : 0;
    host_.SetStatus(StringPrintf("%zu pilots registered", state_.pilotList.pilots.size()));
    QDialog::accept();
}

CompetitionPilotDialog::CompetitionPilotDialog(AppState& state, QtHost& host, QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
    const TrackLog& log = state.trackLog;
    const std::string product = log.productName.empty() ? state.gpsTypeName : log.productName;
    setWindowTitle(
        log.productText.empty()
            ? QStringLiteral("Save competition log (%1)").arg(QString::fromStdString(product))
            : QStringLiteral("Save competition log (%1, %2)")
                  .arg(QString::fromStdString(product), QString::fromStdString(log.productText)));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    compId_ = new QLineEdit(this);
    civlId_ = new QLineEdit(this);
    name_ = new QLineEdit(this);
    name_->setMaxLength(static_cast<int>(kCurrentPilotNameChars));
    form->addRow(QStringLiteral("C&OMP ID"), compId_);
    form->addRow(QStringLiteral("CI&VL ID"), civlId_);
    form->addRow(QStringLiteral("&Pilot name"), name_);
    auto* listRow = new QHBoxLayout;
    listFile_ = new QLabel(QString::fromStdString(state.settings.pilotListName), this);
    auto* browseList = new QPushButton(QStringLiteral("B&rowse..."), this);
    listRow->addWidget(listFile_, 1);
    listRow->addWidget(browseList);
    form->addRow(QStringLiteral("Pilot list file"), listRow);
    pilots_ = new QComboBox(this);
    form->addRow(QStringLiteral("&Select pilot from list"), pilots_);
    auto* folderRow = new QHBoxLayout;
    folder_ = new QLineEdit(QString::fromStdString(state.settings.compDir), this);
    auto* browseFolder = new QPushButton(QStringLiteral("&Browse..."), this);
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browseFolder);
    form->addRow(QStringLiteral("Track log folder"), folderRow);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
    connect(browseList, &QPushButton::clicked, this, &CompetitionPilotDialog::BrowsePilotList);
    connect(browseFolder, &QPushButton::clicked, this, &CompetitionPilotDialog::BrowseFolder);
    connect(pilots_, &QComboBox::activated, this, &CompetitionPilotDialog::ShowPilot);
    connect(compId_, &QLineEdit::textEdited, this, &CompetitionPilotDialog::CompIdTyped);
    connect(civlId_, &QLineEdit::textEdited, this, &CompetitionPilotDialog::CivlIdTyped);
    FillPilots();
}

void CompetitionPilotDialog::FillPilots() {
    filling_ = true;
    pilots_->clear();
    const PilotList& list = state_.pilotList;
    for (std::size_t i = 0; i < list.pilots.size(); ++i) {
        pilots_->addItem(PilotLine(list.pilots[i]), static_cast<int>(i));
    }
    pilots_->setEnabled(!list.pilots.empty());
    const CurrentPilot& current = state_.pilot;
    compId_->setText(IdText(current.competitionId));
    civlId_->setText(IdText(current.civlId));
    name_->setText(QString::fromStdString(current.name));
    if (!list.pilots.empty()) {
        const int match = FindPilotByIds(list, current.civlId, current.competitionId);
        if (match >= 0) {
            pilots_->setCurrentIndex(match);
            ShowPilot(match);
        } else {
            pilots_->setCurrentIndex(0);
            name_->clear();
        }
    }
    filling_ = false;
}

void CompetitionPilotDialog::ShowPilot(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= state_.pilotList.pilots.size()) {
        return;
    }
    const PilotEntry& pilot = state_.pilotList.pilots[static_cast<std::size_t>(index)];
    compId_->setText(IdText(pilot.competitionId));
    civlId_->setText(IdText(pilot.civlId));
    name_->setText(QString::fromStdString(CutUtf8Characters(pilot.name, kCurrentPilotNameChars)));
}

void CompetitionPilotDialog::CompIdTyped(const QString&) {
    const PilotList& list = state_.pilotList;
    if (list.pilots.empty()) {
        return;
    }
    // A CIVL ID of a listed pilot already in its field decides.
    if (const std::optional<int> civl = IdField(civlId_);
        civl && *civl >= 0 && FindPilotByIds(list, *civl, -1) >= 0) {
        return;
    }
    const std::optional<int> comp = IdField(compId_);
    const int found = comp && *comp >= 0 ? FindPilotByIds(list, -1, *comp) : -1;
    if (found < 0) {
        civlId_->clear();
        name_->clear();
        return;
    }
    const PilotEntry& pilot = list.pilots[static_cast<std::size_t>(found)];
    if (pilot.civlId >= 0) {
        civlId_->setText(IdText(pilot.civlId));
    }
    name_->setText(QString::fromStdString(CutUtf8Characters(pilot.name, kCurrentPilotNameChars)));
    pilots_->setCurrentIndex(found);
}

void CompetitionPilotDialog::CivlIdTyped(const QString&) {
    const PilotList& list = state_.pilotList;
    if (list.pilots.empty()) {
        return;
    }
    if (const std::optional<int> comp = IdField(compId_);
        comp && *comp >= 0 && FindPilotByIds(list, -1, *comp) >= 0) {
        return;
    }
    const std::optional<int> civl = IdField(civlId_);
    const int found = civl && *civl >= 0 ? FindPilotByIds(list, *civl, -1) : -1;
    if (found < 0) {
        compId_->clear();
        name_->clear();
        return;
    }
    const PilotEntry& pilot = list.pilots[static_cast<std::size_t>(found)];
    if (pilot.competitionId >= 0) {
        compId_->setText(IdText(pilot.competitionId));
    }
    name_->setText(QString::fromStdString(CutUtf8Characters(pilot.name, kCurrentPilotNameChars)));
    pilots_->setCurrentIndex(found);
}

void CompetitionPilotDialog::BrowsePilotList() {
    if (competition::ReadPilotListWithDialog(host_, state_.settings, state_.pilotList, false) > 0) {
        listFile_->setText(QString::fromStdString(state_.settings.pilotListName));
        FillPilots();
    }
}

void CompetitionPilotDialog::BrowseFolder() {
    FileDialogRequest request;
    request.title = "Get track log folder";
    request.filters = {{"Comp. files", "kml"}, {"All files", "*"}};
    request.folder = FieldText(folder_);
    request.proposedName = "<Name>.<Time>.<CIVLID>.<COMPID>";
    if (const std::optional<FileDialogResult> chosen = host_.SaveFileDialog(request)) {
        folder_->setText(QString::fromStdString(chosen->path.parent_path().string()));
    }
}

void CompetitionPilotDialog::accept() {
    const std::string title = "Pilot parameter check";
    const std::optional<int> comp = IdField(compId_);
    if (!comp) {
        host_.ShowMessage(title, "Bad comp. pilot ID");
        return;
    }
    const std::optional<int> civl = IdField(civlId_);
    if (!civl) {
        host_.ShowMessage(title, "Bad CIVL pilot ID");
        return;
    }
    state_.pilot.name = CutUtf8Characters(FieldText(name_), kCurrentPilotNameChars);
    state_.pilot.competitionId = *comp;
    state_.pilot.civlId = *civl;
    state_.settings.compDir = FieldText(folder_);
    QDialog::accept();
}

bool RunNoPilotIdDialog(QWidget* parent, const competition::PilotIdUpload& upload) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("No pilot ID"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QStringLiteral("The GPS did not contain any COMPID or CIVLID."), &dialog));
    layout->addWidget(
        new QLabel(QStringLiteral("Do you want to upload the following ID(s) ?"), &dialog));
    auto* form = new QFormLayout;
    const auto value = [&dialog](const QString& text, const char* name) {
        auto* label = new QLabel(text, &dialog);
        label->setObjectName(QString::fromLatin1(name));
        return label;
    };
    form->addRow(QStringLiteral("COMPID"), value(IdText(upload.competitionId), "compId"));
    form->addRow(QStringLiteral("CIVLID"), value(IdText(upload.civlId), "civlId"));
    form->addRow(QStringLiteral("Pilot"), value(QString::fromStdString(upload.pilotName), "pilot"));
    form->addRow(QStringLiteral("Device"),
                 value(QString::fromStdString(upload.deviceId), "device"));
    layout->addLayout(form);
    layout->addWidget(OkCancel(&dialog));
    return dialog.exec() == QDialog::Accepted;
}

UploadPilotDialog::UploadPilotDialog(AppState& state, QtHost& host,
                                     const std::vector<std::string>& instrumentNames,
                                     QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
    QString names;
    for (std::size_t i = 0; i < instrumentNames.size() && i < 2; ++i) {
        names +=
            (i > 0 ? QStringLiteral(", ") : QString()) + QString::fromStdString(instrumentNames[i]);
    }
    setWindowTitle(QStringLiteral("Select pilot (%1)").arg(names));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Running in competition mode. Type your CIVL and/or "
                                           "pilot ID, or select from a list."),
                            this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* form = new QFormLayout;
    compId_ = new QLineEdit(IdText(state.pilot.competitionId), this);
    civlId_ = new QLineEdit(IdText(state.pilot.civlId), this);
    form->addRow(QStringLiteral("C&OMPID"), compId_);
    form->addRow(QStringLiteral("CI&VLID"), civlId_);
    auto* listRow = new QHBoxLayout;
    listFile_ = new QLabel(QString::fromStdString(state.settings.pilotListName), this);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    listRow->addWidget(listFile_, 1);
    listRow->addWidget(browse);
    form->addRow(QStringLiteral("Pilot list file"), listRow);
    layout->addLayout(form);
    heading_ = new QLabel(this);
    pilots_ = new QListWidget(this);
    pilots_->setSelectionMode(QAbstractItemView::SingleSelection);
    heading_->setBuddy(pilots_);
    layout->addWidget(heading_);
    layout->addWidget(pilots_);
    nnn_ = new QCheckBox(QStringLiteral("-NNN"), this);
    nnn_->setChecked(state.settings.compWptNnn != 0);
    layout->addWidget(nnn_);
    layout->addWidget(OkCancel(this));
    connect(browse, &QPushButton::clicked, this, &UploadPilotDialog::BrowsePilotList);
    connect(pilots_, &QListWidget::currentRowChanged, this, &UploadPilotDialog::ShowPilot);
    FillPilots();
}

void UploadPilotDialog::FillPilots() {
    const QSignalBlocker quiet(pilots_);
    pilots_->clear();
    const PilotList& list = state_.pilotList;
    heading_->setText(
        QStringLiteral("&Select pilot from list (%1 pilots)").arg(list.pilots.size()));
    for (const PilotEntry& pilot : list.pilots) {
        pilots_->addItem(PilotLine(pilot));
    }
    pilots_->setEnabled(!list.pilots.empty());
    // The pilot of the current IDs is proposed; without one nothing is selected, so that typed
    // IDs never land in a pilot nobody chose.
    const int match = FindPilotByIds(list, state_.pilot.civlId, state_.pilot.competitionId);
    if (match >= 0) {
        pilots_->setCurrentRow(match);
        ShowPilot(match);
    }
}

void UploadPilotDialog::ShowPilot(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= state_.pilotList.pilots.size()) {
        return;
    }
    const PilotEntry& pilot = state_.pilotList.pilots[static_cast<std::size_t>(row)];
    compId_->setText(IdText(pilot.competitionId));
    civlId_->setText(IdText(pilot.civlId));
}

void UploadPilotDialog::BrowsePilotList() {
    if (competition::ReadPilotListWithDialog(host_, state_.settings, state_.pilotList, false) > 0) {
        listFile_->setText(QString::fromStdString(state_.settings.pilotListName));
        FillPilots();
    }
}

void UploadPilotDialog::accept() {
    const std::string title = "Check ID";
    const std::optional<int> comp = IdField(compId_);
    if (!comp) {
        host_.ShowMessage(title, "Bad comp. ID");
        return;
    }
    const std::optional<int> civl = IdField(civlId_);
    if (!civl) {
        host_.ShowMessage(title, "Bad CIVL ID");
        return;
    }
    if (*comp < 0 && *civl < 0 &&
        host_.Ask(title, "Both IDs missing, continue ?", QuestionButtons::kYesNo) != Answer::kYes) {
        return;
    }
    chosen_ = CurrentPilot{};
    chosen_.competitionId = *comp;
    chosen_.civlId = *civl;
    const int row = pilots_->currentRow();
    if (row >= 0 && static_cast<std::size_t>(row) < state_.pilotList.pilots.size() &&
        pilots_->item(row)->isSelected()) {
        // The typed IDs correct the listed pilot's.
        PilotEntry& entry = state_.pilotList.pilots[static_cast<std::size_t>(row)];
        entry.competitionId = *comp;
        entry.civlId = *civl;
        chosen_.name = CutUtf8Characters(entry.name, kCurrentPilotNameChars);
    }
    withNnn_ = nnn_->isChecked();
    state_.settings.compWptNnn = withNnn_ ? 1 : 0;
    QDialog::accept();
}

}  // namespace tracora::app
