// The page's program: what the page's script calls. The page starts it once, with or without the
// built-in simulated controller, and passes on the user's actions and answers.
#include <emscripten.h>

#include <memory>
#include <optional>

#include "app/web/PageView.h"
#include "platform/web/BrowserLog.h"
#include "platform/web/WebRunLoop.h"
#include "platform/web/WebSerialPortManager.h"
#include "sim/DemoPorts.h"

using namespace korvane;

namespace {

// Everything the page runs on, installed for the page's life.
struct Page {
    explicit Page(bool demo) {
        if (demo) {
            auto simulated = std::make_unique<SimulatedPortManager>();
            addDemoDevices(*simulated);
            ports = std::move(simulated);
        } else {
            ports = std::make_unique<WebSerialPortManager>();
        }
        portsScope.emplace(*ports);
        view = std::make_unique<PageView>();
    }

    WebRunLoop loop;
    RunLoop::Scope loopScope{loop};
    BrowserLog log;
    LogSink::Scope logScope{log};
    std::unique_ptr<ORSSerialPortManager> ports;
    std::optional<ORSSerialPortManager::Scope> portsScope;
    std::unique_ptr<PageView> view;
};

// The one page; its script reaches it only through the functions below.
std::unique_ptr<Page> page;

MainViewControl& control() {
    return page->view->control();
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void korvane_start(bool demo) {
    page = std::make_unique<Page>(demo);
}

EMSCRIPTEN_KEEPALIVE void korvane_connect() {
    control().onConnect();
}

EMSCRIPTEN_KEEPALIVE void korvane_disconnect() {
    control().onDisconnect();
}

EMSCRIPTEN_KEEPALIVE void korvane_set_fast(bool fast) {
    control().setFastTransfers(fast);
}

EMSCRIPTEN_KEEPALIVE void korvane_set_auto(bool on) {
    control().setIsAuto(on ? 1 : 0);
}

EMSCRIPTEN_KEEPALIVE void korvane_set_config(int index) {
    control().setConfig(index);
}

EMSCRIPTEN_KEEPALIVE void korvane_set_kmh(bool kmh) {
    control().setIsKmh(kmh ? 1 : 0);
}

EMSCRIPTEN_KEEPALIVE void korvane_choose_speed(int index) {
    page->view->chooseSpeed(index);
}

EMSCRIPTEN_KEEPALIVE void korvane_update_firmware() {
    page->view->chooseFirmware();
}

EMSCRIPTEN_KEEPALIVE void korvane_save_settings() {
    page->view->saveSettings();
}

EMSCRIPTEN_KEEPALIVE void korvane_load_settings() {
    page->view->loadSettings();
}

EMSCRIPTEN_KEEPALIVE void korvane_answer(int token, int button) {
    page->view->answered(token, button);
}

// `path`: where the chosen file was put in the page's file system; none when none was chosen.
EMSCRIPTEN_KEEPALIVE void korvane_file_chosen(int token, const char* path) {
    page->view->fileChosen(token,
                           path != nullptr ? std::optional<std::string>(path) : std::nullopt);
}
}
