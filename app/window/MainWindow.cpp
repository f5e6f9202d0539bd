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
    control_ = MainViewControl::create(*this);
    binding_ = std::make_unique<ViewBinding>(*control_, static_cast<ViewControls&>(*this));
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
                     [this] { control_->onChooseFile(*binding_); });
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
    binding_->propertyChanged(property);
}

QWidget& MainWindow::widget(Element element) const {
    Ui::MainViewControl& form = *form_;
    QWidget* const widgets[] = {
        form.connectButton,  form.disconnectButton,    form.searchIndicator,
        form.autoCheck,      form.configChoices,       form.unitChoices,
        form.speedCombo,     form.saveSettingsButton,  form.loadSettingsButton,
        form.firmwareButton, form.connectStatusLabel,  form.connectDetailLabel,
        form.setStatusLabel, form.firmwareStatusLabel, form.firmwareDetailLabel,
    };
    static_assert(std::size(widgets) == kElementCount, "a widget for each element, in order");
    return *widgets[static_cast<int>(element)];
}

void MainWindow::showText(Element label, const std::string& text) {
    if (auto* const shown = qobject_cast<QLabel*>(&widget(label))) {
        shown->setText(QString::fromStdString(text));
    }
}

void MainWindow::showChoice(Element choices, int index) {
    Ui::MainViewControl& form = *form_;
    if (choices == Element::autoMode) {
        form.autoCheck->setChecked(index != 0);
        return;
    }
    QRadioButton* const buttons[] = {form.configChoice1, form.configChoice2, form.configChoice3,
                                     form.mphRadio, form.kmhRadio};
    buttons[(choices == Element::unit ? 3 : 0) + index]->setChecked(true);
}

void MainWindow::enableControl(Element control, bool enabled) {
    widget(control).setEnabled(enabled);
}

void MainWindow::showControl(Element control, bool shown) {
    widget(control).setVisible(shown);
}

void MainWindow::showProgress(const FirmwareBar& shown) {
    QProgressBar& bar = *form_->firmwareProgress;
    // Qt's progress bar counts in int.
    bar.setMaximum(toProgress(shown.maximum));
    bar.setValue(toProgress(shown.value));
    bar.setTextVisible(!shown.text.empty());
    bar.setFormat(QString::fromStdString(shown.text));
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
