// korvane-config: the window.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <algorithm>
#include <iostream>
#include <string>

#include "app/frontend/FrontEnd.h"
#include "app/window/MainWindow.h"

using namespace korvane;

int main(int argc, char** argv) {
    FrontEndOptions options;
    bool quiet = false;
    CLI::App app{"The Korvane controller's settings and firmware, in a window.", "korvane-config"};
    app.set_version_flag("--version", "korvane-config " KORVANE_VERSION);
    addPortOptions(app, options);
    app.add_flag("--fast", options.fast, "fast transfers (the window's check box, for this run)");
    app.add_flag("--quiet", quiet, "no log on stderr");
    // Qt's own options (-platform, -style, ...) are Qt's: looked at once it has taken them.
    app.allow_extras();
    // Read before the application object exists: --help and --version need no display.
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::cerr << "korvane-config: " << error.what() << "\nTry 'korvane-config --help'\n";
        return 2;
    }
    const std::vector<std::string> extras = app.remaining();
    QApplication application(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::find(extras.begin(), extras.end(), argv[i]) != extras.end()) {
            std::cerr << "korvane-config: unknown argument \"" << argv[i]
                      << "\"\nTry 'korvane-config --help'\n";
            return 2;
        }
    }
    options.verbose = !quiet;
    FrontEnd frontEnd(options, "korvane-config");
    MainWindow window(options.fast);
    window.show();
    return QApplication::exec();
}
