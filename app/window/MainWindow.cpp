#include "app/window/MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/TimeLeft.h"
#include "ui_MainViewControl.h"

namespace korvane {

namespace {

constexpr int kInitialWidth = 480;
constexpr int kLogHeight = 220;

int toProgress(std::uint64_t count) {
    return static_cast<int>(std::min<std::uint64_t>(count, std::numeric_limits<int>::max()));
}

}  // namespace

MainWindow::MainWindow(bool fastTransfers) : form_(std::make_unique<Ui::MainViewControl>()) {
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    auto view = std::make_unique<QWidget>();
    form_->setupUi(view.get());
    setCentralWidget(view.release());
    form_->logText->hide();
    form_->copyLogButton->hide();
    form_->searchIndicator->hide();
    // Only as tall as the controls: extra height goes to them, and to the log when it is shown.
    setMinimumSize(minimumSizeHint());
    resize(std::max(kInitialWidth, sizeHint().width()), sizeHint().height());
    log_ = std::make_unique<WindowLog>(*form_->logText);
    speeds_ = std::make_unique<ComboSpeedPopup>(*form_->speedCombo);
    firmwareButton_ = std::make_unique<WidgetControl>([this](bool enabled) {
        firmwareButtonHeld_ = !enabled;
        updateEnabledControls();
    });
    control_ = MainViewControl::create(*this);
    control_->setSpeedPopup(speeds_.get());
    connectActions();
    // For this run only: the window keeps no settings of its own between runs.
    form_->fastCheck->setChecked(fastTransfers);
    control_->setFastTransfers(fastTransfers);
    control_->viewDidLoad();
}

MainWindow::~MainWindow() {
    // The controller goes first: its link may still report to this window on the way out.
    control_.reset();
}

WindowLog::WindowLog(QPlainTextEdit& panel)
    : panel_(panel), next_(LogSink::isInstalled() ? &LogSink::current() : nullptr), scope_(*this) {}

void WindowLog::write(std::string_view text) {
    if (next_ != nullptr) {
        next_->write(text);
    }
    // Some lines carry their own line end; the panel makes its own.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    // The time as --verbose gives it, without the process: the panel is this program's.
    panel_.appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) +
                           QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void MainWindow::connectActions() {
    Ui::MainViewControl& form = *form_;
    // Only the user's clicks reach the controller; updates from properties do not.
    QObject::connect(form.connectButton, &QPushButton::clicked, this,
                     [this] { control_->onConnect(); });
    QObject::connect(form.disconnectButton, &QPushButton::clicked, this,
                     [this] { control_->onDisconnect(); });
    QObject::connect(form.autoCheck, &QCheckBox::clicked, this,
                     [this](bool checked) { control_->setIsAuto(checked ? 1 : 0); });
    const QRadioButton* choices[] = {form.configChoice1, form.configChoice2, form.configChoice3};
    for (int index = 0; index < 3; ++index) {
        QObject::connect(choices[index], &QRadioButton::clicked, this,
                         [this, index] { control_->setConfig(index); });
    }
    QObject::connect(form.mphRadio, &QRadioButton::clicked, this,
                     [this] { control_->setIsKmh(0); });
    QObject::connect(form.kmhRadio, &QRadioButton::clicked, this,
                     [this] { control_->setIsKmh(1); });
    QObject::connect(form.speedCombo, &QComboBox::activated, this,
                     [this] { control_->onSpeed(*speeds_); });
    QObject::connect(form.firmwareButton, &QPushButton::clicked, this,
                     [this] { control_->onChooseFile(*firmwareButton_); });
    QObject::connect(form.saveSettingsButton, &QPushButton::clicked, this,
                     [this] { saveSettings(); });
    QObject::connect(form.loadSettingsButton, &QPushButton::clicked, this,
                     [this] { loadSettings(); });
    QObject::connect(form.logButton, &QPushButton::toggled, this, [this](bool shown) {
        // The window grows by the log rather than squeezing the controls, and shrinks back.
        const int controlsHeight = height() - (shown ? 0 : form_->logText->height());
        form_->logText->setVisible(shown);
        form_->copyLogButton->setVisible(shown);
        resize(width(), controlsHeight + (shown ? kLogHeight : 0));
    });
    QObject::connect(form.copyLogButton, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(form_->logText->toPlainText());
    });
    QObject::connect(form.fastCheck, &QCheckBox::toggled, this,
                     [this](bool fast) { control_->setFastTransfers(fast); });
}

void MainWindow::propertyChanged(Property property) {
    Ui::MainViewControl& form = *form_;
    const MainViewControl& control = *control_;
    switch (property) {
        case Property::isAuto:
            form.autoCheck->setChecked(control.isAuto() != 0);
            break;
        case Property::config: {
            QRadioButton* choices[] = {form.configChoice1, form.configChoice2, form.configChoice3};
            choices[std::clamp(control.config(), 0, 2)]->setChecked(true);
            break;
        }
        case Property::isKmh:
            (control.isKmh() != 0 ? form.kmhRadio : form.mphRadio)->setChecked(true);
            break;
        case Property::maxSpeed:
            break;  // the controller fills the speed list itself
        case Property::canConnect:
        case Property::isConnected:
        case Property::isEnabled:
        case Property::isUpdatingFirmware:
            updateEnabledControls();
            break;
        case Property::isUpdateRunning:
            updateEnabledControls();
            showProgress();  // the time left goes with the update
            break;
        case Property::connectStatus:
            form.connectStatusLabel->setText(QString::fromStdString(control.connectStatus()));
            break;
        case Property::setStatus:
            form.setStatusLabel->setText(QString::fromStdString(control.setStatus()));
            break;
        case Property::firmwareStatus:
            form.firmwareStatusLabel->setText(QString::fromStdString(control.firmwareStatus()));
            break;
        case Property::firmwareDetail:
            form.firmwareDetailLabel->setText(QString::fromStdString(control.firmwareDetail()));
            break;
        case Property::connectDetail:
            form.connectDetailLabel->setText(QString::fromStdString(control.connectDetail()));
            break;
        case Property::maxFirmwareCount:
        case Property::currFirmwareCount:
            showProgress();
            break;
        case Property::lastWrite:
        case Property::updateEnd:
        case Property::notice:
            break;  // the texts above say the same to a person
    }
}

void MainWindow::showProgress() {
    const MainViewControl& control = *control_;
    QProgressBar& bar = *form_->firmwareProgress;
    const std::uint64_t total = control.maxFirmwareCount();
    const std::uint64_t done = std::min(control.currFirmwareCount(), total);
    const Duration now = RunLoop::current().now();
    // Programming starts at record 0 of a new count.
    if (done == 0 || !programmingSince_) {
        programmingSince_ = now;
    }
    // Qt's progress bar counts in int, and draws a range of nothing as a busy bar: with no
    // records it stays still and empty.
    bar.setMaximum(toProgress(std::max<std::uint64_t>(total, 1)));
    bar.setValue(toProgress(done));
    // Nothing to show before the first update.
    bar.setTextVisible(total > 0);
    // The bar keeps its values after an update; the time left means something only while records
    // are programmed.
    const std::optional<Duration> left = control.updateStage() == UpdateStage::programming
                                             ? timeLeft(done, total, now - *programmingSince_)
                                             : std::nullopt;
    bar.setFormat(
        left ? QStringLiteral("%p% - %1 left").arg(QString::fromStdString(clockText(*left)))
             : QStringLiteral("%p%"));
}

void MainWindow::updateEnabledControls() {
    Ui::MainViewControl& form = *form_;
    const MainViewControl& control = *control_;
    form.connectButton->setEnabled(control.canConnect());
    form.searchIndicator->setVisible(!control.canConnect() && !control.isConnected());
    form.disconnectButton->setEnabled(control.canDisconnect());
    for (QWidget* widget :
         {static_cast<QWidget*>(form.autoCheck), static_cast<QWidget*>(form.configChoices),
          static_cast<QWidget*>(form.unitChoices), static_cast<QWidget*>(form.speedCombo)}) {
        widget->setEnabled(control.canEditSettings());
    }
    for (QWidget* button : {form.saveSettingsButton, form.loadSettingsButton}) {
        button->setEnabled(control.canEditSettings());
    }
    // The controller holds the button off while its file panel is open.
    form.firmwareButton->setEnabled(control.canChooseFile() && !firmwareButtonHeld_);
}

void MainWindow::runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) {
    openFileDialog(QStringLiteral("Choose a firmware file"),
                   QStringLiteral("Firmware (*.%1)").arg(QString::fromStdString(fileType)),
                   QFileDialog::AcceptOpen, std::move(completion));
}

void MainWindow::openFileDialog(const QString& title, const QString& filter,
                                QFileDialog::AcceptMode mode, OpenPanelCompletion completion) {
    // Opened window-modal, a sheet on the window like the alerts: no other control acts while it
    // is open. The answer comes later, from the event loop.
    auto* panel = new QFileDialog(this, title, QString(), filter);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(mode);
    panel->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    QObject::connect(panel, &QFileDialog::finished, this,
                     [panel, completion = std::move(completion)](int result) {
                         const QStringList chosen = panel->selectedFiles();
                         if (result == QDialog::Accepted && !chosen.isEmpty()) {
                             completion(chosen.front().toStdString());
                         } else {
                             completion(std::nullopt);
                         }
                     });
    panel->open();
}

void MainWindow::showAlert(const std::string& message, const std::vector<std::string>& buttons,
                           AlertCompletion completion) {
    // Window-modal: a sheet on macOS. The answer comes later, from the event loop.
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setText(QString::fromStdString(message));
    std::vector<QAbstractButton*> added;
    for (const std::string& title : buttons) {
        added.push_back(
            box->addButton(QString::fromStdString(title),
                           added.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    }
    QObject::connect(
        box, &QMessageBox::finished, this, [box, added, completion = std::move(completion)] {
            const auto pressed = std::find(added.begin(), added.end(), box->clickedButton());
            const int index = pressed == added.end() ? static_cast<int>(added.size()) - 1
                                                     : static_cast<int>(pressed - added.begin());
            completion(kAlertFirstButtonReturn + index);
        });
    box->open();
}

void MainWindow::stopApplication() {
    QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    control_->viewDidDisappear();
}

}  // namespace korvane
