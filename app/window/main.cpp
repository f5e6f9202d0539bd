// korvane-config: the window.
#include <QApplication>
#include <QSettings>
#include <iostream>
#include <string>

#include "app/frontend/FrontEnd.h"
#include "app/window/MainWindow.h"

using namespace korvane;

namespace {

constexpr const char* kUsage =
    "usage: korvane-config [--port PATH]... [--demo] [--fast] [--quiet]\n"
    "  --port PATH   probe only this port (repeatable)\n"
    "  --demo        talk to the built-in simulated controller\n"
    "  --fast        fast transfers (the window's check box, remembered)\n"
    "  --quiet       no log on stderr\n"
    "  --version     print the version\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists: it needs a display, these do not.
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--version") {
            std::cout << "korvane-config " KORVANE_VERSION "\n";
            return 0;
        }
    }
    // Qt takes its own options (-platform, -style, ...) out of argv first.
    QApplication application(argc, argv);
    FrontEndOptions options;
    options.verbose = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port" && i + 1 < argc) {
            options.ports.emplace_back(argv[++i]);
        } else if (argument == "--demo") {
            options.demo = true;
        } else if (argument == "--fast") {
            options.fast = true;
        } else if (argument == "--quiet") {
            options.verbose = false;
        } else {
            std::cerr << "korvane-config: unknown argument \"" << argument << "\"\n" << kUsage;
            return 2;
        }
    }
    FrontEnd frontEnd(options, "korvane-config");
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("korvane-config"));
    if (options.fast) {
        QSettings().setValue(kFastTransfersKey, true);
    }
    MainWindow window;
    window.show();
    return QApplication::exec();
}
